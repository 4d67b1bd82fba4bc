#include "unit_frames.h"

#include "link/frame.h"
#include "sim_options.h"

namespace tvq52::sim {

namespace {

void put16(QByteArray& out, int v)
{
    out.append(char((v >> 8) & 0xFF));
    out.append(char(v & 0xFF));
}

void put24(QByteArray& out, int v)
{
    out.append(char((v >> 16) & 0xFF));
    put16(out, v);
}

void put32(QByteArray& out, std::int32_t v)
{
    const auto u = std::uint32_t(v);
    out.append(char(u >> 24));
    out.append(char((u >> 16) & 0xFF));
    put16(out, int(u & 0xFFFF));
}

void putTime(QByteArray& out, const QTime& t)
{
    out.append(char(t.hour()));
    out.append(char(t.minute()));
}

// Highest and lowest 1-minute Leq with their stamps, LFmax, its limit and
// passes (16-bit in intervals, 24-bit in sessions), then L1 to L90.
void putLevelStats(QByteArray& out, const LevelStats& s, int passesWidth)
{
    put16(out, s.maxLeq1);
    out.append(stamp(s.maxLeq1At));
    put16(out, s.minLeq1);
    out.append(stamp(s.minLeq1At));
    put16(out, s.lfmax);
    out.append(char(s.lfmaxLimit));
    if (passesWidth == 3)
        put24(out, s.lfmaxPasses);
    else
        put16(out, s.lfmaxPasses);
    for (int l : {s.l1, s.l5, s.l10, s.l50, s.l90})
        put16(out, l);
}

std::uint8_t actionByte(bool codes33, int seconds)
{
    if (seconds == 0)
        return codes33 ? 125 : 2; // Leq over 125 ms
    return std::uint8_t(seconds);
}

} // namespace

QByteArray stamp(const QDateTime& when)
{
    QByteArray out;
    if (!when.isValid())
        return QByteArray(5, 0);
    out.append(char(when.date().day()));
    out.append(char(when.date().month()));
    out.append(char(when.date().year() - 1900));
    putTime(out, when.time());
    return out;
}

QDateTime stampTime(const std::uint8_t* b)
{
    const QDate date(1900 + b[2], b[1], b[0]);
    const QTime time(b[3], b[4]);
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time);
}

QByteArray identityReply(const SimOptions& o)
{
    QByteArray p;
    p.append(char(o.unitType));
    p.append(char(o.firmwareMajor));
    p.append(char(o.firmwareMinor));
    p.append(o.serialText.left(6).leftJustified(6, ' '));
    p.append(char(o.progMode));
    return completeFrame(std::uint8_t(UnitCommand::Identify), p);
}

QByteArray totalsReply(const RecordedHistory& h)
{
    QByteArray p;
    put32(p, h.totalPassesVenue);
    put32(p, h.totalSensorInactive);
    put32(p, h.totalErasures);
    put32(p, h.totalPassesNeighbour);
    return completeFrame(std::uint8_t(UnitCommand::Totals), p);
}

QByteArray eventDatesReply(const RecordedHistory& h)
{
    QByteArray p;
    // Ten slots a list, newest first; unused slots are zero.
    for (const QList<QDateTime>* list : {&h.erasures, &h.batteryEnds, &h.reprogrammings}) {
        for (int k = 0; k < 10; ++k)
            p.append(k < list->size() ? stamp(list->at(list->size() - 1 - k)) : QByteArray(5, 0));
    }
    return completeFrame(std::uint8_t(UnitCommand::EventDates), p);
}

QByteArray programmingReply(const QByteArray& block)
{
    return completeFrame(std::uint8_t(UnitCommand::ReadProgramming), block);
}

QByteArray intervalFrame(const IntervalRecord& r, const SimOptions& o)
{
    QByteArray p = stamp(r.end);
    put16(p, r.disconnections);
    put16(p, r.passesNeighbour);
    put16(p, r.passesVenue);
    put16(p, r.sensorInactive);
    put16(p, r.leqNeighbour);
    put16(p, r.leqVenue);
    p.append(char(r.limitNeighbour));
    p.append(char(r.limitVenue));
    p.append(char(r.leqMinutes));
    putLevelStats(p, r.stats, 2);
    if (o.newIntervalLayout()) {
        p.append(char(r.dnaMinutes));
        p.append(char((r.rs232 ? 0x80 : 0) | (r.enaMinutes & 0x7F)));
        p.append(char((r.progMode ? 0x80 : 0) | (r.lineShortMinutes & 0x7F)));
        p.append(char(actionByte(o.actionCodes33(), 0)));
        p.append(char(0));
    } else {
        p.append(char(0));
        p.append(char(r.rs232 ? 1 : 0));
        p.append(char(r.progMode ? 1 : 0));
        p.append(char(2));
        p.append(char(0));
    }
    return completeFrame(std::uint8_t(UnitCommand::IntervalRecords), p);
}

QByteArray sessionFrame(const SessionRecord& s)
{
    QByteArray p = stamp(s.start);
    p.append(stamp(s.end));
    p.append(char(s.dayLimitVenue));
    p.append(char(s.dayLimitNeighbour));
    putTime(p, s.nightStart);
    putTime(p, s.nightEnd);
    p.append(char(s.nightLimitVenue));
    p.append(char(s.nightLimitNeighbour));
    put16(p, s.attenuationSeconds);
    put24(p, s.disconnections);
    put24(p, s.passesVenue);
    put24(p, s.passesNeighbour);
    put24(p, s.sensorInactive);
    put16(p, s.leq);
    putLevelStats(p, s.stats, 3);
    return completeFrame(std::uint8_t(UnitCommand::SessionRecords), p);
}

QByteArray intervalListEnd()
{
    return completeFrame(std::uint8_t(UnitCommand::IntervalRecords), QByteArray(54, 0));
}

QByteArray sessionListEnd()
{
    return completeFrame(std::uint8_t(UnitCommand::SessionRecords), QByteArray(64, 0));
}

QByteArray realTimeFrame(const RealTimeReading& r)
{
    QByteArray p;
    const QDate d = r.at.date();
    const QTime t = r.at.time();
    p.append(char(d.day()));
    p.append(char(d.month()));
    p.append(char(d.year() % 100));
    p.append(char(t.hour()));
    p.append(char(t.minute()));
    p.append(char(t.second()));
    p.append(char(r.session ? 1 : 0));
    p.append(char(r.night ? 1 : 0));
    p.append(char(r.mainsOff));
    p.append(char(r.sensorOff));
    p.append(char(r.nonWorking ? 1 : 0));
    put16(p, r.level);
    p.append(char(r.attenuation));
    return completeFrame(std::uint8_t(UnitCommand::RealTime), p);
}

const QList<RealTimeReading>& realTimeCases()
{
    static const QList<RealTimeReading> cases = [] {
        auto reading = [](int level, int attenuation) {
            RealTimeReading r;
            r.level = level;
            r.attenuation = std::uint8_t(attenuation);
            return r;
        };
        QList<RealTimeReading> list{reading(599, 0), reading(600, 7), reading(1200, 45), reading(1201, 60)};
        RealTimeReading sensor = reading(900, 3);
        sensor.sensorOff = 1;
        RealTimeReading mains = reading(800, 5);
        mains.mainsOff = 1;
        RealTimeReading otherMains = reading(800, 7);
        otherMains.mainsOff = 2;
        RealTimeReading holiday = reading(750, 0);
        holiday.nonWorking = true;
        holiday.session = true;
        holiday.night = true;
        list << sensor << mains << otherMains << holiday;
        return list;
    }();
    return cases;
}

QByteArray defaultProgrammingBlock(const SimOptions& o)
{
    QByteArray b;
    // Sunday first: evening sessions, none on Monday.
    for (int day = 0; day < 7; ++day) {
        if (day == 1) {
            b.append(QByteArray(4, 0x2D));
            continue;
        }
        const bool weekend = day == 5 || day == 6;
        b.append(char(weekend ? 22 : 20));
        b.append(char(0));
        b.append(char(weekend ? 4 : 23));
        b.append(char(weekend ? 0 : 30));
    }
    b.append(char(VenueLimits::dayVenue));
    b.append(char(VenueLimits::dayNeighbour));
    putTime(b, QTime(VenueLimits::nightStartHour, 0));
    putTime(b, QTime(VenueLimits::nightEndHour, 0));
    b.append(char(VenueLimits::nightVenue));
    b.append(char(VenueLimits::nightNeighbour));
    b.append(char(1)); // clock change
    put16(b, 300);     // attenuation time
    b.append(char(o.leqMinutes));
    b.append(char(VenueLimits::lfmax));
    b.append(char(0)); // continuous printing
    b.append(char(0)); // language: Spanish
    b.append(char(2)); // rings
    QByteArray intervals(300, 0);
    // One non-working interval: Christmas Day of the history's year.
    const int year = (o.historyEnd.isValid() ? o.historyEnd.date().year() : QDate::currentDate().year()) - 1900;
    const char christmas[10] = {25, 12, char(year), 0, 0, 25, 12, char(year), 23, 59};
    intervals.replace(0, 10, QByteArray(christmas, 10));
    b.append(intervals);
    b.append(char(actionByte(o.actionCodes33(), 0)));
    b.append(char(0)); // no action on the neighbour side
    for (int tenths : {250, 300, 350, 400, 450, 500, 500, 550, 600})
        put16(b, tenths);
    if (o.hasCorrectionByte())
        b.append(char(0));
    return b;
}

} // namespace tvq52::sim
