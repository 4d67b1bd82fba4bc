#include "records/download_frames.h"

#include "link/frame.h"

namespace tvq52 {

QByteArray totalsRequest()
{
    return frameWithoutCheck(std::uint8_t(UnitCommand::Totals));
}

QByteArray eventDatesRequest()
{
    return frameWithoutCheck(std::uint8_t(UnitCommand::EventDates));
}

QByteArray intervalsRequest(const DownloadRange& range)
{
    return frameWithoutCheck(std::uint8_t(UnitCommand::IntervalRecords), range.requestBytes());
}

QByteArray sessionsRequest(const DownloadRange& range)
{
    return frameWithoutCheck(std::uint8_t(UnitCommand::SessionRecords), range.requestBytes());
}

namespace {

// Fields end before the check byte.
int readable(int length)
{
    return length - 1;
}

std::int32_t read16(const std::uint8_t* b)
{
    return std::int16_t(std::uint16_t((b[0] << 8) | b[1]));
}

std::int32_t read24(const std::uint8_t* b)
{
    return (std::int32_t(b[0]) << 16) | (std::int32_t(b[1]) << 8) | b[2];
}

std::int32_t read32(const std::uint8_t* b)
{
    return std::int32_t((std::uint32_t(b[0]) << 24) | (std::uint32_t(b[1]) << 16) | (std::uint32_t(b[2]) << 8)
                        | std::uint32_t(b[3]));
}

// Day, month, years since 1900, hour, minute; invalid when not a date (nor a time).
QDateTime stampAt(const std::uint8_t* b, std::uint8_t month)
{
    return wallClock(QDate(1900 + b[2], month, b[0]), QTime(b[3], b[4]));
}

QDateTime stampAt(const std::uint8_t* b)
{
    return stampAt(b, b[1]);
}

QString hourMinute(int hour, int minute)
{
    return QString::asprintf("%02d:%02d", hour, minute);
}

// Reads fields in offset order; the first failed check refuses the record
// and names the column and the value that failed.
class FieldReader {
public:
    explicit FieldReader(const std::uint8_t* frame) : frame_(frame) {}

    bool failed() const { return !refusal_.isEmpty(); }
    const QString& refusal() const { return refusal_; }

    std::int32_t counter16(int offset, const char* column, int max)
    {
        return checked(read16(frame_ + offset), column, max);
    }
    std::int32_t counter24(int offset, const char* column, int max)
    {
        return checked(read24(frame_ + offset), column, max);
    }
    float level(int offset, const char* column)
    {
        return float(checked(read16(frame_ + offset), column, 1400)) / 10.0f;
    }
    std::uint8_t byte(int offset) const { return frame_[offset]; }
    std::uint8_t byteAtMost(int offset, const char* column, int max)
    {
        return std::uint8_t(checked(frame_[offset], column, max));
    }
    QDateTime date(int offset, const char* column)
    {
        QDateTime at = stampAt(frame_ + offset);
        if (!at.isValid())
            refuse(column,
                   QStringLiteral("%1/%2/%3 %4:%5")
                       .arg(frame_[offset])
                       .arg(frame_[offset + 1])
                       .arg(frame_[offset + 2])
                       .arg(frame_[offset + 3])
                       .arg(frame_[offset + 4]));
        return at;
    }

private:
    std::int32_t checked(std::int32_t value, const char* column, int max)
    {
        // Negative values fail every check.
        if (value < 0 || value > max)
            refuse(column, QString::number(value));
        return value;
    }
    void refuse(const char* column, const QString& value)
    {
        if (refusal_.isEmpty())
            refusal_ = QString::fromLatin1(column) + QLatin1Char(' ') + value;
    }

    const std::uint8_t* frame_;
    QString refusal_;
};

constexpr int kCounterMax16 = 4000;
constexpr int kCounterMax24 = 90000;
constexpr int kIntervalBytes = 58; // offsets 0..57
constexpr int kSessionBytes = 68;  // offsets 0..67

// Day 0 ends a list, a short frame is refused, the key stamp decides whether
// the record is in the range. Returns true when the fields should be read.
template <typename R>
bool checkKey(const std::uint8_t* frame, int length, int needed, bool month244IsJanuary, const QDateTime& rangeStart,
              DecodedRecord<R>* out, QDateTime* key)
{
    if (readable(length) < 5) {
        out->refusal = QStringLiteral("short frame: %1 bytes").arg(length);
        return false;
    }
    if (frame[4] == 0) {
        out->kind = RecordFrame::EndOfList;
        return false;
    }
    if (readable(length) < needed) {
        out->refusal = QStringLiteral("short frame: %1 bytes").arg(length);
        return false;
    }
    // Some units send January as 244 in interval stamps.
    const std::uint8_t month = month244IsJanuary && frame[5] == 244 ? 1 : frame[5];
    *key = stampAt(frame + 4, month);
    if (!key->isValid()) {
        out->refusal = QStringLiteral("key stamp %1/%2/%3 %4:%5")
                           .arg(frame[4])
                           .arg(month)
                           .arg(frame[6])
                           .arg(frame[7])
                           .arg(frame[8]);
        return false;
    }
    if (rangeStart.isValid() && *key < rangeStart) {
        out->kind = RecordFrame::OlderThanRange;
        return false;
    }
    return true;
}

QString newerVenueAction(std::uint8_t code)
{
    return code == 125 ? QStringLiteral("Leq125ms") : QStringLiteral("Leq%1s").arg(code);
}

QString newerNeighbourAction(std::uint8_t code)
{
    return code == 0 ? QStringLiteral("0") : newerVenueAction(code);
}

QString olderAction(std::uint8_t code, bool neighbour)
{
    switch (code) {
    case 1:
        return QStringLiteral("Leq1s");
    case 2:
        return QStringLiteral("Leq125ms");
    default:
        // 0 at the venue has no known meaning: nothing rather than a guess.
        return neighbour ? QStringLiteral("0") : QString();
    }
}

LevelStatistics readStatistics(FieldReader& in, int base, bool passes24, std::int32_t* passes)
{
    LevelStatistics s;
    s.maxLeq1 = in.level(base, "SMaxLeq1min");
    s.maxLeq1At = in.date(base + 2, "TFechaMaxLeq1min");
    s.minLeq1 = in.level(base + 7, "SMinLeq1min");
    s.minLeq1At = in.date(base + 9, "TFechaMinLeq1min");
    s.lfmax = in.level(base + 14, "SMaxFast");
    s.lfmaxLimit = in.byte(base + 16);
    *passes = passes24 ? in.counter24(base + 17, "LPasMaxFast", kCounterMax24)
                       : in.counter16(base + 17, "IPasMaxFast", kCounterMax16);
    const int percentiles = base + (passes24 ? 20 : 19);
    s.l1 = in.level(percentiles, "SL1");
    s.l5 = in.level(percentiles + 2, "SL5");
    s.l10 = in.level(percentiles + 4, "SL10");
    s.l50 = in.level(percentiles + 6, "SL50");
    s.l90 = in.level(percentiles + 8, "SL90");
    return s;
}

void zeroLevels(LevelStatistics& s)
{
    s.maxLeq1 = s.minLeq1 = s.l1 = s.l5 = s.l10 = s.l50 = s.l90 = kNoLevel;
}

void adjustLevels(LevelStatistics& s)
{
    for (float* level : {&s.maxLeq1, &s.minLeq1, &s.lfmax, &s.l1, &s.l5, &s.l10, &s.l50, &s.l90})
        *level = markOutOfRange(*level);
}

} // namespace

std::optional<TotalsReading> decodeTotals(const std::uint8_t* frame, int length, const QDateTime& now)
{
    if (readable(length) < 20)
        return std::nullopt;
    TotalsReading t;
    t.passesVenue = read32(frame + 4);
    t.sensorInactive = read32(frame + 8);
    t.erasures = read32(frame + 12);
    t.passesNeighbour = read32(frame + 16);
    t.readAt = now;
    return t;
}

QList<EventDate> decodeEventDates(const std::uint8_t* frame, int length)
{
    QList<EventDate> dates;
    const EventKind kinds[] = {EventKind::Erasure, EventKind::BatteryEnd, EventKind::Reprogramming};
    for (int list = 0; list < 3; ++list) {
        for (int slot = 0; slot < 10; ++slot) {
            const int offset = 4 + 50 * list + 5 * slot;
            if (offset + 5 > readable(length))
                return dates;
            const QDateTime at = stampAt(frame + offset);
            if (at.isValid())
                dates.append({kinds[list], at});
        }
    }
    return dates;
}

DecodedRecord<IntervalRecord> decodeInterval(const std::uint8_t* frame, int length, IntervalLayout layout,
                                             const QDateTime& rangeStart)
{
    DecodedRecord<IntervalRecord> out;
    QDateTime end;
    if (!checkKey(frame, length, kIntervalBytes, true, rangeStart, &out, &end))
        return out;

    const bool newer = layout == IntervalLayout::From30;
    FieldReader in(frame);
    IntervalRecord& r = out.record;
    r.end = end;
    r.disconnections = std::int16_t(in.counter16(9, "IDesco", kCounterMax16));
    r.passesNeighbour = std::int16_t(in.counter16(11, "IPasadasVecino", kCounterMax16));
    r.passesVenue = std::int16_t(in.counter16(13, "IPasadasLocal", kCounterMax16));
    r.sensorInactive = std::int16_t(in.counter16(15, "IE3", kCounterMax16));
    r.leqNeighbour = in.level(17, "SLeqVecino");
    r.leqVenue = in.level(19, "SLeqLocal");
    r.limitNeighbour = in.byte(21);
    r.limitVenue = in.byte(22);
    r.leqMinutes = newer ? in.byte(23) : in.byteAtMost(23, "ByTLeq", 60);
    std::int32_t lfmaxPasses = 0;
    r.stats = readStatistics(in, 24, false, &lfmaxPasses);
    r.lfmaxPasses = std::int16_t(lfmaxPasses);

    if (newer) {
        const std::uint8_t dna = in.byte(53);
        r.dna = dna;
        r.rs232 = (in.byte(54) & 0x80) != 0;
        r.progMode = (in.byte(55) & 0x80) != 0;
        // 255 marks minutes the unit could not count.
        r.ena = dna == 255 ? std::uint8_t(255) : std::uint8_t(in.byte(54) & 0x7F);
        r.lineShort = dna == 255 ? std::uint8_t(255) : std::uint8_t(in.byte(55) & 0x7F);
        r.actionVenue = newerVenueAction(in.byte(56));
        r.actionNeighbour = newerNeighbourAction(in.byte(57));
    } else {
        in.byteAtMost(53, "byte 53", 1);
        r.rs232 = in.byteAtMost(54, "BoRS232", 1) == 1;
        r.progMode = in.byteAtMost(55, "BoProgramacion", 1) == 1;
        r.actionVenue = olderAction(in.byteAtMost(56, "TTipoActuacionLocal", 2), false);
        r.actionNeighbour = olderAction(in.byteAtMost(57, "TTipoActuacionVecino", 2), true);
    }
    if (in.failed()) {
        out.refusal = in.refusal();
        return out;
    }

    r.start = r.end.addSecs(-60 * qint64(r.leqMinutes));
    if (r.sensorInactive != 0) {
        r.leqVenue = r.leqNeighbour = kNoLevel;
        zeroLevels(r.stats);
        r.stats.lfmax = markOutOfRange(r.stats.lfmax);
        r.passesVenue = r.passesNeighbour = 0;
    } else {
        adjustLevels(r.stats);
        r.leqVenue = markOutOfRange(r.leqVenue);
        if (!newer)
            r.leqNeighbour = markOutOfRange(r.leqNeighbour);
    }
    out.kind = RecordFrame::Record;
    return out;
}

DecodedRecord<SessionRecord> decodeSession(const std::uint8_t* frame, int length, const QDateTime& rangeStart)
{
    DecodedRecord<SessionRecord> out;
    QDateTime start;
    if (!checkKey(frame, length, kSessionBytes, false, rangeStart, &out, &start))
        return out;

    FieldReader in(frame);
    SessionRecord& s = out.record;
    s.start = start;
    s.end = in.date(9, "DFechaFinal");
    s.dayLimitVenue = in.byte(14);
    s.dayLimitNeighbour = in.byte(15);
    s.nightStart = hourMinute(in.byte(16), in.byte(17));
    s.nightEnd = hourMinute(in.byte(18), in.byte(19));
    s.nightLimitVenue = in.byte(20);
    s.nightLimitNeighbour = in.byte(21);
    s.attenuationSeconds = std::int16_t(in.counter16(22, "ITiempoAtenuacion", 9000));
    s.disconnections = in.counter24(24, "LDesco", kCounterMax24);
    s.passesVenue = in.counter24(27, "LPasadasLocal", kCounterMax24);
    s.passesNeighbour = in.counter24(30, "LPasadasVecino", kCounterMax24);
    s.sensorInactive = in.counter24(33, "LE3", kCounterMax24);
    s.leq = in.level(36, "SLeq");
    s.stats = readStatistics(in, 38, true, &s.lfmaxPasses);
    if (in.failed()) {
        out.refusal = in.refusal();
        return out;
    }

    if (s.sensorInactive != 0) {
        s.leq = kNoLevel;
        zeroLevels(s.stats);
        s.stats.lfmax = kNoLevel;
    } else {
        s.leq = markOutOfRange(s.leq);
        adjustLevels(s.stats);
    }
    out.kind = RecordFrame::Record;
    return out;
}

} // namespace tvq52
