#pragma once

#include "sim_options.h"

#include <QDateTime>
#include <QList>
#include <QTime>
#include <cstdint>

namespace tvq52::sim {

// Levels are tenths of a decibel, as on the line.
// The level statistics that interval and session records both carry.
struct LevelStats {
    int maxLeq1 = 0;
    QDateTime maxLeq1At;
    int minLeq1 = 0;
    QDateTime minLeq1At;
    int lfmax = 0;
    std::uint8_t lfmaxLimit = 0;
    int lfmaxPasses = 0;
    int l1 = 0, l5 = 0, l10 = 0, l50 = 0, l90 = 0;
};

struct IntervalRecord {
    QDateTime end;
    int disconnections = 0;
    int passesNeighbour = 0; // seconds over the neighbour limit
    int passesVenue = 0;
    int sensorInactive = 0; // seconds; non-zero while the sensor was out
    int leqNeighbour = 0;
    int leqVenue = 0;
    std::uint8_t limitNeighbour = 0;
    std::uint8_t limitVenue = 0;
    std::uint8_t leqMinutes = 0;
    LevelStats stats;
    std::uint8_t dnaMinutes = 0;
    std::uint8_t enaMinutes = 0;
    std::uint8_t lineShortMinutes = 0;
    bool rs232 = false;
    bool progMode = false;
};

struct SessionRecord {
    QDateTime start;
    QDateTime end;
    std::uint8_t dayLimitVenue = 0, dayLimitNeighbour = 0;
    QTime nightStart, nightEnd;
    std::uint8_t nightLimitVenue = 0, nightLimitNeighbour = 0;
    int attenuationSeconds = 0;
    int disconnections = 0, passesVenue = 0, passesNeighbour = 0, sensorInactive = 0;
    int leq = 0;
    LevelStats stats;
};

// What the unit remembers: oldest first.
struct RecordedHistory {
    QList<IntervalRecord> intervals;
    QList<SessionRecord> sessions;
    QList<QDateTime> erasures;
    QList<QDateTime> batteryEnds;
    QList<QDateTime> reprogrammings;
    std::int32_t totalPassesVenue = 0;
    std::int32_t totalSensorInactive = 0;
    std::int32_t totalErasures = 0;
    std::int32_t totalPassesNeighbour = 0;
};

struct HistoryPlan {
    quint32 seed = 52;
    int days = 7;
    int leqMinutes = 15;
    QDateTime end; // the last interval ends here (rounded down to the Leq time)
};

// A venue's week: evening sessions, quiet days under the measuring range,
// loud peaks over it, a night period with lower limits, limit exceedances and
// one stretch with the sensor out. The same plan always gives the same history.
RecordedHistory generateHistory(const HistoryPlan& plan);

// What the unit holds when its clock reads `clock`, inside the history: the
// intervals and event dates up to then, and only the sessions that had ended,
// since the unit stores a session when it ends; totals count what is held.
// The same history at a later clock holds the session that was under way.
RecordedHistory heldAt(const RecordedHistory& history, const QDateTime& clock);

// The history of a unit whose event dates are exactly `events`: after an
// erasure it holds only the records that began after the latest one.
RecordedHistory withEvents(const RecordedHistory& history, const EventDates& events);

// The history with one more event at `when`.
RecordedHistory withEvent(const RecordedHistory& history, UnitEvent event, const QDateTime& when);

// The fixed limits of the generated venue, also in its programming.
struct VenueLimits {
    static constexpr std::uint8_t dayVenue = 95, dayNeighbour = 35;
    static constexpr std::uint8_t nightVenue = 90, nightNeighbour = 30;
    static constexpr std::uint8_t lfmax = 110;
    static constexpr int nightStartHour = 23, nightEndHour = 7;
    static constexpr int insulationDb = 55;
};

} // namespace tvq52::sim
