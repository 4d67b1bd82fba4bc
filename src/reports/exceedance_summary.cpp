#include "reports/exceedance_summary.h"

#include "records/recorded_data.h"
#include "reports/report_store.h"

#include <algorithm>
#include <cmath>

namespace tvq52 {

namespace {

// Levels carry one decimal: compared in tenths.
long tenths(float level)
{
    return std::lround(double(level) * 10);
}

void takePeak(LevelPeak& peak, float level, int limit)
{
    if (tenths(level) == 0)
        return; // no value
    if (limit != 255 && tenths(level) > long(limit) * 10)
        ++peak.over;
    if (tenths(peak.level) == 0 || tenths(level) > tenths(peak.level)) {
        peak.level = level;
        peak.limit = limit;
    }
}

// Seconds of [from, to) that the intervals cover, overlaps counted once.
qint64 coveredSeconds(const std::vector<IntervalFigures>& intervals, const QDateTime& from, const QDateTime& to)
{
    std::vector<std::pair<qint64, qint64>> spans;
    const qint64 lo = from.toSecsSinceEpoch(), hi = to.toSecsSinceEpoch();
    for (const IntervalFigures& i : intervals) {
        const qint64 a = std::max(lo, i.start.toSecsSinceEpoch());
        const qint64 b = std::min(hi, i.end.toSecsSinceEpoch());
        if (a < b)
            spans.emplace_back(a, b);
    }
    std::sort(spans.begin(), spans.end());
    qint64 covered = 0, reached = lo;
    for (const auto& [a, b] : spans) {
        const qint64 start = std::max(a, reached);
        if (b > start) {
            covered += b - start;
            reached = b;
        }
    }
    return covered;
}

// The latest end of the intervals that start exactly at `to`, or `to`.
QDateTime lastCoveredEnd(const std::vector<IntervalFigures>& intervals, const QDateTime& to)
{
    QDateTime end = to;
    for (const IntervalFigures& i : intervals)
        if (i.start == to && i.end > end)
            end = i.end;
    return end;
}

} // namespace

ExceedanceSummary summarizeExceedances(const std::vector<IntervalFigures>& intervals,
                                       std::vector<SessionFigures> sessions, const NightHours& night,
                                       const QDateTime& from, const QDateTime& to)
{
    ExceedanceSummary s;
    s.from = from;
    s.to = to;
    s.night = night;
    std::sort(sessions.begin(), sessions.end(),
              [](const SessionFigures& a, const SessionFigures& b) { return a.start < b.start; });
    s.sessions = std::move(sessions);
    if (!night.isSet() || !from.isValid() || !to.isValid() || to < from)
        return s;

    // A night that starts the day before the range may reach into it.
    for (QDate day = from.date().addDays(-1); day <= to.date(); day = day.addDays(1)) {
        const QDateTime nightStart = wallClock(day, night.start);
        const QDateTime nightEnd = wallClock(night.end > night.start ? day : day.addDays(1), night.end);
        NightSummary n;
        n.start = std::max(nightStart, from);
        // The range bounds the intervals' starts: the night reaches past
        // `to` only as far as an interval starting there covers it.
        n.end = std::min(nightEnd, std::max(to, lastCoveredEnd(intervals, to)));
        if (n.start >= n.end)
            continue;
        for (const IntervalFigures& i : intervals) {
            if (i.start < n.start || i.start >= n.end || i.start > to)
                continue;
            ++n.intervals;
            n.passesVenue += i.passesVenue;
            n.passesNeighbour += i.passesNeighbour;
            n.passesFast += i.passesFast;
            takePeak(n.venue, i.leqVenue, i.limitVenue);
            takePeak(n.neighbour, i.leqNeighbour, i.limitNeighbour);
            takePeak(n.fast, i.maxFast, i.limitFast);
            n.sensorInactive += i.sensorInactive != 0 ? 1 : 0;
            n.disconnected += i.disconnections != 0 ? 1 : 0;
        }
        const qint64 length = n.start.secsTo(n.end);
        n.minutesWithoutRecord = int((length - coveredSeconds(intervals, n.start, n.end)) / 60);
        s.nights.push_back(n);
    }
    return s;
}

IntervalFigures figuresOf(const GraphRecord& r)
{
    IntervalFigures i;
    i.start = r.start;
    i.end = r.end;
    i.passesVenue = r.passesVenue;
    i.passesNeighbour = r.passesNeighbour;
    i.passesFast = r.fastPasses;
    i.leqVenue = r.leqVenue;
    i.leqNeighbour = r.leqNeighbour;
    i.maxFast = r.maxFast;
    i.limitVenue = r.limitVenue;
    i.limitNeighbour = r.limitNeighbour;
    i.limitFast = r.limitFast;
    i.sensorInactive = r.sensorInactive;
    i.disconnections = r.disconnections;
    return i;
}

Result<ExceedanceSummary> loadExceedanceSummary(Database& database, qint32 serial, const QDateTime& from,
                                                const QDateTime& to)
{
    const ReportStore store(database);
    const Result<NightHours> night = store.nightHours(serial);
    if (!night)
        return night.error();
    // A night that began before the range may hold intervals that cover its start.
    Result<std::vector<IntervalFigures>> intervals = store.intervalFigures(serial, from.addDays(-1), to);
    if (!intervals)
        return intervals.error();
    Result<std::vector<SessionFigures>> sessions = store.sessionFigures(serial, from, to);
    if (!sessions)
        return sessions.error();
    return summarizeExceedances(*intervals, std::move(*sessions), *night, from, to);
}

} // namespace tvq52
