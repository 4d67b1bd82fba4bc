#include "recorded_history.h"

#include <algorithm>
#include <cmath>

namespace tvq52::sim {

namespace {

// A small generator whose sequence is the same on every platform.
class Random {
public:
    explicit Random(quint32 seed) : state_(seed * 2654435761u + 0x9E3779B9u) {}
    quint32 next()
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    int range(int lo, int hi) { return lo + int(next() % quint32(hi - lo + 1)); }

private:
    quint32 state_;
};

bool isNight(const QTime& t)
{
    return t.hour() >= VenueLimits::nightStartHour || t.hour() < VenueLimits::nightEndHour;
}

int clampLevel(int v)
{
    return std::clamp(v, 0, 1400);
}

// Energy mean of levels in tenths of a decibel.
int energyMean(const QList<int>& levels)
{
    if (levels.isEmpty())
        return 0;
    double sum = 0;
    for (int l : levels)
        sum += std::pow(10.0, l / 100.0);
    return clampLevel(int(std::lround(100.0 * std::log10(sum / levels.size()))));
}

} // namespace

namespace {

// One session each evening, longer at the weekend, those wholly inside the history.
void planSessions(RecordedHistory& h, Random& rnd, const QDateTime& begin, const QDateTime& end)
{
    for (QDate day = begin.date(); day <= end.date(); day = day.addDays(1)) {
        const bool weekend = day.dayOfWeek() >= 5;
        SessionRecord s;
        s.start = QDateTime(day, QTime(20 + rnd.range(0, 2), rnd.range(0, 3) * 15));
        s.end = s.start.addSecs(60 * 60 * (weekend ? rnd.range(5, 7) : rnd.range(3, 4)));
        if (s.start >= begin && s.end <= end)
            h.sessions << s;
    }
}

bool inSession(const RecordedHistory& h, const QDateTime& t)
{
    for (const SessionRecord& s : h.sessions)
        if (t > s.start && t <= s.end)
            return true;
    return false;
}

// The levels of an interval: quiet hours read below the 60 dB the unit
// measures; sessions are loud, with a peak over the range now and then.
void fillLevels(IntervalRecord& r, Random& rnd, bool session, int leq)
{
    int level = session ? rnd.range(880, 1010) : rnd.range(420, 620);
    if (session && rnd.range(0, 19) == 0)
        level = rnd.range(1180, 1260);
    r.leqVenue = level;
    r.leqNeighbour = clampLevel(level - VenueLimits::insulationDb * 10 + rnd.range(-20, 20));
    r.stats.maxLeq1 = clampLevel(level + rnd.range(10, 60));
    r.stats.minLeq1 = clampLevel(level - rnd.range(10, 80));
    r.stats.maxLeq1At = r.end.addSecs(-60 * rnd.range(1, leq));
    r.stats.minLeq1At = r.end.addSecs(-60 * rnd.range(1, leq));
    r.stats.lfmax = clampLevel(r.stats.maxLeq1 + rnd.range(40, 140));
    r.stats.l1 = clampLevel(level + rnd.range(40, 70));
    r.stats.l5 = clampLevel(r.stats.l1 - rnd.range(10, 30));
    r.stats.l10 = clampLevel(r.stats.l5 - rnd.range(5, 20));
    r.stats.l50 = clampLevel(level - rnd.range(10, 40));
    r.stats.l90 = clampLevel(r.stats.l50 - rnd.range(20, 60));
}

IntervalRecord makeInterval(Random& rnd, const QDateTime& end, int leq, bool session, bool sensorOut)
{
    IntervalRecord r;
    r.end = end;
    r.leqMinutes = std::uint8_t(std::min(leq, 255));
    const bool night = isNight(r.end.time());
    r.limitVenue = night ? VenueLimits::nightVenue : VenueLimits::dayVenue;
    r.limitNeighbour = night ? VenueLimits::nightNeighbour : VenueLimits::dayNeighbour;
    r.stats.lfmaxLimit = VenueLimits::lfmax;
    fillLevels(r, rnd, session, leq);

    const int seconds = leq * 60;
    const int overVenue = r.leqVenue - r.limitVenue * 10;
    const int overNeighbour = r.leqNeighbour - r.limitNeighbour * 10;
    r.passesVenue = overVenue > 0 ? std::min(seconds, overVenue * 6) : 0;
    r.passesNeighbour = overNeighbour > 0 ? std::min(seconds, overNeighbour * 6) : 0;
    r.stats.lfmaxPasses = r.stats.lfmax > r.stats.lfmaxLimit * 10 ? rnd.range(1, 30) : 0;
    if (sensorOut)
        r.sensorInactive = std::min(seconds, 4000);
    if (rnd.range(0, 199) == 0)
        r.disconnections = rnd.range(1, 30);
    r.dnaMinutes = 0;
    r.enaMinutes = std::uint8_t(r.sensorInactive / 60);
    r.lineShortMinutes = 0;
    return r;
}

// A session's limits, totals and statistics from the intervals it spans.
void summarizeSession(SessionRecord& s, const QList<IntervalRecord>& intervals)
{
    s.dayLimitVenue = VenueLimits::dayVenue;
    s.dayLimitNeighbour = VenueLimits::dayNeighbour;
    s.nightLimitVenue = VenueLimits::nightVenue;
    s.nightLimitNeighbour = VenueLimits::nightNeighbour;
    s.nightStart = QTime(VenueLimits::nightStartHour, 0);
    s.nightEnd = QTime(VenueLimits::nightEndHour, 0);
    s.attenuationSeconds = 300;
    s.stats.lfmaxLimit = VenueLimits::lfmax;
    QList<int> levels;
    const IntervalRecord* loudest = nullptr;
    const IntervalRecord* quietest = nullptr;
    for (const IntervalRecord& r : intervals) {
        if (r.end <= s.start || r.end > s.end)
            continue;
        levels << r.leqVenue;
        s.disconnections += r.disconnections;
        s.passesVenue += r.passesVenue;
        s.passesNeighbour += r.passesNeighbour;
        s.sensorInactive += r.sensorInactive;
        s.stats.lfmaxPasses += r.stats.lfmaxPasses;
        s.stats.lfmax = std::max(s.stats.lfmax, r.stats.lfmax);
        if (!loudest || r.stats.maxLeq1 > loudest->stats.maxLeq1)
            loudest = &r;
        if (!quietest || r.stats.minLeq1 < quietest->stats.minLeq1)
            quietest = &r;
    }
    s.leq = energyMean(levels);
    if (loudest) {
        s.stats.maxLeq1 = loudest->stats.maxLeq1;
        s.stats.maxLeq1At = loudest->stats.maxLeq1At;
    }
    if (quietest) {
        s.stats.minLeq1 = quietest->stats.minLeq1;
        s.stats.minLeq1At = quietest->stats.minLeq1At;
    }
    s.stats.l1 = clampLevel(s.leq + 55);
    s.stats.l5 = clampLevel(s.leq + 35);
    s.stats.l10 = clampLevel(s.leq + 20);
    s.stats.l50 = clampLevel(s.leq - 25);
    s.stats.l90 = clampLevel(s.leq - 70);
}

} // namespace

RecordedHistory generateHistory(const HistoryPlan& plan)
{
    RecordedHistory h;
    Random rnd(plan.seed);
    const int leq = std::max(1, plan.leqMinutes);

    QDateTime end = plan.end.isValid() ? plan.end : QDateTime::currentDateTime();
    end.setTime(QTime(end.time().hour(), end.time().minute()));
    const qint64 endMinutes = end.toSecsSinceEpoch() / 60;
    end = end.addSecs(-(endMinutes % leq) * 60);
    const QDateTime begin = end.addDays(-plan.days);
    planSessions(h, rnd, begin, end);

    // The sensor is out for two hours in the small hours of the second day.
    const QDateTime sensorOutFrom(begin.date().addDays(1), QTime(4, 0));
    const QDateTime sensorOutTo = sensorOutFrom.addSecs(2 * 3600);
    const int count = int(plan.days * 24 * 60 / leq);
    for (int k = count - 1; k >= 0; --k) {
        const QDateTime at = end.addSecs(-qint64(k) * leq * 60);
        const IntervalRecord r =
            makeInterval(rnd, at, leq, inSession(h, at), at > sensorOutFrom && at <= sensorOutTo);
        h.intervals << r;
        h.totalPassesVenue += r.passesVenue;
        h.totalPassesNeighbour += r.passesNeighbour;
        h.totalSensorInactive += r.sensorInactive;
    }
    for (SessionRecord& s : h.sessions)
        summarizeSession(s, h.intervals);

    h.reprogrammings << begin.addDays(-1).addSecs(11 * 3600);
    h.erasures << begin.addSecs(-3600);
    h.batteryEnds << QDateTime(begin.date().addDays(std::max(0, plan.days / 2)),
                               QTime(rnd.range(0, 23), rnd.range(0, 59)));
    h.totalErasures = int(h.erasures.size());
    return h;
}

RecordedHistory heldAt(const RecordedHistory& history, const QDateTime& clock)
{
    RecordedHistory h;
    for (const IntervalRecord& r : history.intervals) {
        if (r.end > clock)
            continue;
        h.intervals << r;
        h.totalPassesVenue += r.passesVenue;
        h.totalPassesNeighbour += r.passesNeighbour;
        h.totalSensorInactive += r.sensorInactive;
    }
    for (const SessionRecord& s : history.sessions)
        if (s.end <= clock)
            h.sessions << s;
    auto upTo = [&](const QList<QDateTime>& dates) {
        QList<QDateTime> held;
        for (const QDateTime& d : dates)
            if (d <= clock)
                held << d;
        return held;
    };
    h.erasures = upTo(history.erasures);
    h.batteryEnds = upTo(history.batteryEnds);
    h.reprogrammings = upTo(history.reprogrammings);
    h.totalErasures = int(h.erasures.size());
    return h;
}

namespace {

// What is left once the unit's memory was cleared at `when`.
void dropBefore(RecordedHistory& h, const QDateTime& when)
{
    QList<IntervalRecord> kept;
    h.totalPassesVenue = h.totalPassesNeighbour = h.totalSensorInactive = 0;
    for (const IntervalRecord& r : h.intervals) {
        if (r.end.addSecs(-qint64(r.leqMinutes) * 60) < when)
            continue;
        kept << r;
        h.totalPassesVenue += r.passesVenue;
        h.totalPassesNeighbour += r.passesNeighbour;
        h.totalSensorInactive += r.sensorInactive;
    }
    h.intervals = kept;
    h.sessions.removeIf([&](const SessionRecord& s) { return s.start < when; });
}

} // namespace

RecordedHistory withEvents(const RecordedHistory& history, const EventDates& events)
{
    RecordedHistory h = history;
    h.erasures = events.erasures;
    h.batteryEnds = events.batteryEnds;
    h.reprogrammings = events.reprogrammings;
    h.totalErasures = int(h.erasures.size());
    if (!h.erasures.isEmpty())
        dropBefore(h, h.erasures.last());
    return h;
}

RecordedHistory withEvent(const RecordedHistory& history, UnitEvent event, const QDateTime& when)
{
    EventDates events{history.erasures, history.batteryEnds, history.reprogrammings};
    QList<QDateTime>& dates = event == UnitEvent::Erasure      ? events.erasures
                              : event == UnitEvent::BatteryEnd ? events.batteryEnds
                                                               : events.reprogrammings;
    dates << when;
    std::sort(dates.begin(), dates.end());
    RecordedHistory h = withEvents(history, events);
    // Only the new erasure clears the memory again; the totals keep the earlier ones.
    h.totalErasures = history.totalErasures + (event == UnitEvent::Erasure ? 1 : 0);
    return h;
}

} // namespace tvq52::sim
