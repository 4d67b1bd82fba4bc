#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <array>
#include <cstdint>

namespace tvq52 {

// The columns of one interval record the graph window draws and shows.
struct GraphRecord {
    QDateTime start;
    QDateTime end;
    float leqVenue = 0;                 // SLeqLocal
    float leqNeighbour = 0;             // SLeqVecino
    float maxFast = 0;                  // SMaxFast
    int limitVenue = 0;                 // ByNivelLeqLocal
    int limitNeighbour = 0;             // ByNivelLeqVecino
    int limitFast = 0;                  // ByNivelMFast
    float maxLeq1 = 0;                  // SMaxLeq1min
    float minLeq1 = 0;                  // SMinLeq1min
    std::array<float, 5> percentiles{}; // SL1, SL5, SL10, SL50, SL90
    int disconnections = 0;             // IDesco
    int passesVenue = 0;                // IPasadasLocal
    int passesNeighbour = 0;            // IPasadasVecino
    int sensorInactive = 0;             // IE3
    int fastPasses = 0;                 // IPasMaxFast
    int lineShort = 0;                  // ByLineaInsuficiente
    int dna = 0;                        // ByDNA
    int ena = 0;                        // ByENA
};

// The window shows this many consecutive records.
inline constexpr int kGraphPoints = 50;
// Marks an empty point in every series.
inline constexpr float kNoPoint = -1.0f;
// The height of the bar that marks a change of day.
inline constexpr float kDayChangeHeight = 120.0f;

// The slider's value is the number of records skipped from the oldest.
struct GraphSlider {
    int minimum = -1;
    int maximum = 0;
};
GraphSlider graphSlider(int records);
int stepLeft(const GraphSlider& slider, int value);
int stepRight(const GraphSlider& slider, int value);

// Series of the level chart, in the order of the chart's groups.
enum LevelSeries : std::uint8_t {
    SeriesLeqVenue,
    SeriesLeqNeighbour,
    SeriesMaxFast,
    SeriesLimitVenue,
    SeriesLimitNeighbour,
    SeriesLimitFast,
    SeriesMaxLeq1,
    SeriesMinLeq1,
    SeriesL1,
    SeriesL5,
    SeriesL10,
    SeriesL50,
    SeriesL90,
    SeriesDayChange,
    kLevelSeries
};

// Bars of the event chart.
enum EventSeries : std::uint8_t {
    EventDisconnection,
    EventPassVenue,
    EventPassNeighbour,
    EventSensorInactive,
    EventPassFast,
    EventLineShort,
    EventDna,
    EventEna,
    kEventSeries
};
// Firmware before 3.0 records none of the last three events.
int eventSeriesFor(const QString& firmware);

struct GraphPoint {
    QString label; // " " for an unused point
    std::array<float, kLevelSeries> levels{};
    std::array<bool, kEventSeries> events{};
    bool used = false;
    // The record starts another day than the record before it: the bar
    // stands on the left of this point.
    bool newDay = false;
    int record = -1; // index into the records, -1 when unused
};

using GraphPage = std::array<GraphPoint, kGraphPoints>;

// The 50 points shown for the slider's value. `records` may be a stretch
// of the unit's records only, the one with number `firstRecord` first: it
// needs the shown ones and the one before them.
GraphPage fillGraphPage(const QList<GraphRecord>& records, int sliderValue, int firstRecord = 0);

// The two lines shown beside a clicked point (levels through levelPointText,
// neighbour levels through neighbourLevelPointText); `names` holds the names
// of the eight level curves as the chart shows them.
QString pointDisplayText(const GraphPoint& point, const std::array<QString, 8>& names);

} // namespace tvq52
