#pragma once

#include "core/error.h"

#include <QDateTime>
#include <QString>
#include <QTime>
#include <optional>
#include <vector>

namespace tvq52 {

class Database;
struct GraphRecord;

// What the summary needs of one stored interval.
struct IntervalFigures {
    QDateTime start, end;
    int passesVenue = 0;     // IPasadasLocal, seconds over the limit
    int passesNeighbour = 0; // IPasadasVecino
    int passesFast = 0;      // IPasMaxFast
    float leqVenue = 0, leqNeighbour = 0, maxFast = 0;
    int limitVenue = 255, limitNeighbour = 255, limitFast = 255; // 255: no limit
    int sensorInactive = 0;                                      // IE3
    int disconnections = 0;                                      // IDesco
};

// One session row as the unit counted it.
struct SessionFigures {
    QDateTime start, end;
    float leq = 0;
    qint64 passesVenue = 0, passesNeighbour = 0, passesFast = 0; // seconds, seconds, count
    qint64 sensorInactive = 0, disconnections = 0;               // LE3, LDesco
    int attenuation = 0;                                         // ITiempoAtenuacion, seconds
};

// The highest level of a night and how it stands against the limit in
// force when it was measured; `over` counts the intervals above their own
// limit (an interval above the measuring range counts as over).
struct LevelPeak {
    float level = 0; // stored value: 0 none, 59 under range, 121 over range
    int limit = 255;
    int over = 0;
};

struct NightSummary {
    QDateTime start, end; // the programmed night, clipped to the range asked for
    int intervals = 0;
    qint64 passesVenue = 0, passesNeighbour = 0, passesFast = 0;
    LevelPeak venue, neighbour, fast;
    int sensorInactive = 0; // intervals with IE3 set
    int disconnected = 0;   // intervals with IDesco set
    // Minutes of the night that no interval covers: never read as compliance.
    int minutesWithoutRecord = 0;
};

struct NightHours {
    QTime start, end; // end not after start: the night ends the next day
    bool isSet() const { return start.isValid() && end.isValid() && start != end; }
};

struct ExceedanceSummary {
    QDateTime from, to;
    NightHours night;
    std::vector<SessionFigures> sessions;
    std::vector<NightSummary> nights;
};

// The nights whose programmed hours meet [from, to], each with the figures
// of the intervals that start inside it. Intervals need not be sorted.
ExceedanceSummary summarizeExceedances(const std::vector<IntervalFigures>& intervals,
                                       std::vector<SessionFigures> sessions, const NightHours& night,
                                       const QDateTime& from, const QDateTime& to);

// What the summary takes of an interval as the graphs read it.
IntervalFigures figuresOf(const GraphRecord& record);

// Reads the unit's night hours and the intervals and sessions that start in
// [from, to] through the report store and summarizes them.
Result<ExceedanceSummary> loadExceedanceSummary(Database& database, qint32 serial, const QDateTime& from,
                                                const QDateTime& to);

} // namespace tvq52
