#include "records/recorded_data.h"

#include <QTimeZone>
#include <QVariant>

namespace tvq52 {

QDateTime wallClock(const QDate& date, const QTime& time)
{
    if (!date.isValid() || !time.isValid())
        return {};
    // Made once: building the zone looks it up, and a history makes millions of stamps.
    static const QTimeZone utc = QTimeZone::utc();
    return QDateTime(date, time, utc);
}

namespace {

int digits(const QString& text, int at, int count)
{
    int n = 0;
    for (int k = 0; k < count; ++k) {
        const int d = text.at(at + k).unicode() - '0';
        if (d < 0 || d > 9)
            return -1;
        n = n * 10 + d;
    }
    return n;
}

} // namespace

QDateTime storedStamp(const QVariant& date, const QVariant& time)
{
    // "yyyy-mm-dd" and "hh:mm" without the general parsers.
    const QString d = date.typeId() == QMetaType::QDate ? date.toDate().toString(Qt::ISODate) : date.toString();
    const QString t = time.toString();
    if (d.size() < 10 || t.size() < 5)
        return {};
    const QDate day(digits(d, 0, 4), digits(d, 5, 2), digits(d, 8, 2));
    const int h = digits(t, 0, 2);
    const int m = digits(t, 3, 2);
    if (!day.isValid() || h < 0 || h > 23 || m < 0 || m > 59)
        return {};
    return wallClock(day, QTime(h, m));
}

float markOutOfRange(float level)
{
    if (level < 60.0f)
        return kUnderRange;
    if (level > 120.0f)
        return kOverRange;
    return level;
}

QString eventTable(EventKind kind)
{
    switch (kind) {
    case EventKind::Erasure:
        return QStringLiteral("DiaBorrado");
    case EventKind::BatteryEnd:
        return QStringLiteral("DiaFinalBateria");
    case EventKind::Reprogramming:
        return QStringLiteral("DiaReprogramado");
    }
    return {};
}

IntervalLayout intervalLayoutFor(const QString& firmware)
{
    // Read like a leading decimal number: "3.0a" is 3.0, text without digits 0.
    const QString text = firmware.trimmed();
    int end = 0;
    bool point = false;
    while (end < text.size() && (text[end].isDigit() || (text[end] == QLatin1Char('.') && !point))) {
        point = point || text[end] == QLatin1Char('.');
        ++end;
    }
    const double version = text.left(end).toDouble();
    return version < 3.0 ? IntervalLayout::Before30 : IntervalLayout::From30;
}

namespace {

int fullYear(std::uint8_t twoDigits)
{
    return twoDigits < 50 ? 2000 + twoDigits : 1900 + twoDigits;
}

QDateTime rangeStamp(const std::uint8_t* b)
{
    if (b[2] > 99)
        return {};
    return wallClock(QDate(fullYear(b[2]), b[1], b[0]), QTime(b[3], b[4]));
}

void putStamp(std::uint8_t* b, const QDateTime& when)
{
    const QDate d = when.date();
    const QTime t = when.time();
    b[0] = std::uint8_t(d.day());
    b[1] = std::uint8_t(d.month());
    b[2] = std::uint8_t(((d.year() % 100) + 100) % 100);
    b[3] = std::uint8_t(t.hour());
    b[4] = std::uint8_t(t.minute());
}

} // namespace

bool requestCarries(const QDateTime& at)
{
    return at.isValid() && at.date().year() >= kFirstRequestYear && at.date().year() <= kLastRequestYear;
}

DownloadRange DownloadRange::from(const QDateTime& start, const QDateTime& end)
{
    DownloadRange range;
    putStamp(range.bytes.data(), start);
    putStamp(range.bytes.data() + 5, end);
    return range;
}

QDateTime DownloadRange::start() const
{
    return rangeStamp(bytes.data());
}

QDateTime DownloadRange::end() const
{
    return rangeStamp(bytes.data() + 5);
}

QByteArray DownloadRange::requestBytes() const
{
    QByteArray out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::uint8_t b = bytes[i];
        if ((i == 2 || i == 7) && b < 50)
            b = std::uint8_t(b + 100);
        out.append(char(b));
    }
    return out;
}

QString recordTable(RecordKind kind)
{
    switch (kind) {
    case RecordKind::Totals:
        return QStringLiteral("Programacion");
    case RecordKind::Erasures:
        return eventTable(EventKind::Erasure);
    case RecordKind::BatteryEnds:
        return eventTable(EventKind::BatteryEnd);
    case RecordKind::Reprogrammings:
        return eventTable(EventKind::Reprogramming);
    case RecordKind::Intervals:
        return QStringLiteral("Intervalos");
    case RecordKind::Sessions:
        return QStringLiteral("Sesiones");
    }
    return {};
}

RecordKind recordKindOf(EventKind kind)
{
    switch (kind) {
    case EventKind::Erasure:
        return RecordKind::Erasures;
    case EventKind::BatteryEnd:
        return RecordKind::BatteryEnds;
    case EventKind::Reprogramming:
        return RecordKind::Reprogrammings;
    }
    return RecordKind::Erasures;
}

QString recordKindWord(RecordKind kind)
{
    switch (kind) {
    case RecordKind::Totals:
        return QStringLiteral("totals");
    case RecordKind::Erasures:
        return QStringLiteral("erasures");
    case RecordKind::BatteryEnds:
        return QStringLiteral("battery-ends");
    case RecordKind::Reprogrammings:
        return QStringLiteral("reprogrammings");
    case RecordKind::Intervals:
        return QStringLiteral("intervals");
    case RecordKind::Sessions:
        return QStringLiteral("sessions");
    }
    return {};
}

std::optional<RecordKind> recordKindFromWord(const QString& word)
{
    for (int k = 0; k < kRecordKinds; ++k)
        if (recordKindWord(RecordKind(k)) == word)
            return RecordKind(k);
    return std::nullopt;
}

} // namespace tvq52
