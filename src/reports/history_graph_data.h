#pragma once

#include <QTime>
#include <cstdint>
#include <vector>

namespace tvq52 {

// Every interval of a unit as the whole-history graph draws it: only the
// columns drawn, one array per column. Times are wall-clock minutes since
// the epoch, oldest first.
struct HistoryData {
    enum Flag : std::uint8_t { SensorInactive = 1, PassVenue = 2, PassNeighbour = 4 };

    std::vector<qint64> start;
    std::vector<std::int32_t> minutes; // the interval's length
    std::vector<float> venue;          // SLeqLocal
    std::vector<float> neighbour;      // SLeqVecino
    std::vector<std::uint8_t> limitVenue;
    std::vector<std::uint8_t> limitNeighbour;
    std::vector<std::uint8_t> flags;

    std::size_t size() const { return start.size(); }
    void reserve(std::size_t n);
    void append(qint64 startMinute, std::int32_t length, float leqVenue, float leqNeighbour, std::uint8_t limVenue,
                std::uint8_t limNeighbour, std::uint8_t flagBits);
    qint64 end(std::size_t i) const { return start[i] + minutes[i]; }
    qint64 first() const { return start.empty() ? 0 : start.front(); }
    qint64 last() const { return start.empty() ? 0 : end(size() - 1); }
};

enum class HistoryCurve : std::uint8_t { Venue, Neighbour, LimitVenue, LimitNeighbour };

// One pixel column of a curve: the lowest and highest value of the
// intervals that start in it.
struct CurveColumn {
    int x = 0;
    float low = 0;
    float high = 0;
};
// Columns drawn as one line; a new run starts after a gap in the records or
// an interval without a value, so no line crosses it.
using CurveRun = std::vector<CurveColumn>;

// The curve over the minutes [from, to) spread across `width` pixels.
std::vector<CurveRun> decimateCurve(const HistoryData& data, HistoryCurve curve, qint64 from, qint64 to, int width);

// Per pixel column, the flags of the intervals that overlap it, or-ed.
std::vector<std::uint8_t> flagColumns(const HistoryData& data, qint64 from, qint64 to, int width);

// The programmed night hours lying in [from, to), as minute spans; a night
// that starts before midnight ends the next day. None when they are equal
// or not times.
struct MinuteSpan {
    qint64 from = 0;
    qint64 to = 0;
};
std::vector<MinuteSpan> nightSpans(qint64 from, qint64 to, const QTime& nightStart, const QTime& nightEnd);

// The shown part of the time axis: zoomed about a point and panned, never
// narrower than an hour nor outside the records (with a little margin).
struct HistoryViewport {
    qint64 from = 0;
    qint64 to = 1;

    static HistoryViewport whole(const HistoryData& data);
    // factor < 1 zooms in; `anchor` is the fraction of the width kept in place.
    HistoryViewport zoomed(double factor, double anchor, const HistoryData& data) const;
    // Moves by a fraction of the shown span (negative: towards older records).
    HistoryViewport panned(double fraction, const HistoryData& data) const;
    qint64 span() const { return to - from; }
};

} // namespace tvq52
