#include "core/date_text.h"

#include <QRegularExpression>
#include <cstdlib>

namespace tvq52 {

namespace {

std::optional<QDateTime> dateTime(int year, int month, int day, const QRegularExpressionMatch& m)
{
    const int seconds = m.captured(QStringLiteral("s")).isEmpty() ? 0 : m.captured(QStringLiteral("s")).toInt();
    const QDate date(year, month, day);
    const QTime time(m.captured(QStringLiteral("h")).toInt(), m.captured(QStringLiteral("n")).toInt(), seconds);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time);
}

// The ISO form's zone, "Z", "+hh", "+hhmm" or "+hh:mm", in seconds east of UTC.
std::optional<int> zoneOffset(const QString& zone)
{
    if (zone == QLatin1String("Z"))
        return 0;
    const int hours = zone.mid(1, 2).toInt();
    const int minutes = zone.size() > 3 ? zone.right(2).toInt() : 0;
    if (hours > 14 || minutes > 59)
        return std::nullopt;
    return (zone.startsWith(QLatin1Char('-')) ? -1 : 1) * (hours * 3600 + minutes * 60);
}

std::optional<QDateTime> isoDateTime(const QRegularExpressionMatch& m, DateAlone alone)
{
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    const QString zone = m.captured(QStringLiteral("z"));
    if (m.captured(QStringLiteral("h")).isEmpty()) {
        if (!date.isValid() || !zone.isEmpty())
            return std::nullopt;
        return QDateTime(date, alone == DateAlone::EndOfDay ? QTime(23, 59, 59) : QTime(0, 0));
    }
    const std::optional<QDateTime> at = dateTime(date.year(), date.month(), date.day(), m);
    if (!at || !date.isValid() || zone.isEmpty())
        return at;
    const std::optional<int> offset = zoneOffset(zone);
    if (!offset)
        return std::nullopt;
    // The moment as this PC's clock reads it, kept as a plain wall-clock reading.
    const QDateTime local = QDateTime(at->date(), at->time(), Qt::OffsetFromUTC, *offset).toLocalTime();
    return QDateTime(local.date(), local.time());
}

} // namespace

std::optional<QDateTime> parseDateTimeText(const QString& text, DateAlone alone)
{
    static const QRegularExpression dayFirst(
        QStringLiteral(R"(^\s*(\d{1,2})/(\d{1,2})/(\d{2}|\d{4})\s+(?<h>\d{1,2}):(?<n>\d{2})(?::(?<s>\d{2}))?\s*$)"));
    static const QRegularExpression iso(QStringLiteral(
        R"(^\s*(\d{4})-(\d{2})-(\d{2})(?:(?:T| +)(?<h>\d{2}):(?<n>\d{2})(?::(?<s>\d{2})(?:[.,]\d+)?)?)?)"
        R"(\s*(?<z>Z|[+-]\d{2}(?::?\d{2})?)?\s*$)"));
    if (const QRegularExpressionMatch m = iso.match(text); m.hasMatch())
        return isoDateTime(m, alone);
    const QRegularExpressionMatch m = dayFirst.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    int year = m.captured(3).toInt();
    if (m.captured(3).size() == 2)
        year += year < 50 ? 2000 : 1900;
    return dateTime(year, m.captured(2).toInt(), m.captured(1).toInt(), m);
}

QString jsonDateTimeText(const QDateTime& at)
{
    if (!at.isValid())
        return {};
    // Written out by hand: Qt's ISO text leaves a local time's offset out,
    // and writes an offset of zero as "Z".
    const QDateTime local(at.date(), at.time());
    const int minutes = local.offsetFromUtc() / 60;
    return local.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"))
        + QStringLiteral("%1%2:%3")
              .arg(minutes < 0 ? QLatin1Char('-') : QLatin1Char('+'))
              .arg(std::abs(minutes) / 60, 2, 10, QLatin1Char('0'))
              .arg(std::abs(minutes) % 60, 2, 10, QLatin1Char('0'));
}

} // namespace tvq52
