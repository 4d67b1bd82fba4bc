#include "reports/history_graph_data.h"

#include <algorithm>
#include <cmath>

namespace tvq52 {

namespace {

constexpr qint64 kMinuteSpan = 60;
constexpr qint64 kDayMinutes = 24 * 60;

// The value a curve has for interval i; none when the unit measured nothing.
bool curveValue(const HistoryData& d, HistoryCurve curve, std::size_t i, float* value)
{
    switch (curve) {
    case HistoryCurve::Venue:
        *value = d.venue[i];
        break;
    case HistoryCurve::Neighbour:
        *value = d.neighbour[i];
        break;
    case HistoryCurve::LimitVenue:
        *value = float(d.limitVenue[i]);
        return true;
    case HistoryCurve::LimitNeighbour:
        *value = float(d.limitNeighbour[i]);
        return true;
    }
    // A stored 0 is no value; a sensor-inactive interval measured nothing.
    return *value != 0.0f && (d.flags[i] & HistoryData::SensorInactive) == 0;
}

int columnOf(qint64 minute, qint64 from, qint64 to, int width)
{
    return int((minute - from) * width / (to - from));
}

std::size_t firstEndingAfter(const HistoryData& d, qint64 from)
{
    // Intervals do not overlap, so their ends are as ordered as their starts.
    const auto it = std::upper_bound(d.start.begin(), d.start.end(), from);
    std::size_t i = std::size_t(it - d.start.begin());
    if (i > 0 && d.end(i - 1) > from)
        --i;
    return i;
}

} // namespace

void HistoryData::reserve(std::size_t n)
{
    start.reserve(n);
    minutes.reserve(n);
    venue.reserve(n);
    neighbour.reserve(n);
    limitVenue.reserve(n);
    limitNeighbour.reserve(n);
    flags.reserve(n);
}

void HistoryData::append(qint64 startMinute, std::int32_t length, float leqVenue, float leqNeighbour,
                         std::uint8_t limVenue, std::uint8_t limNeighbour, std::uint8_t flagBits)
{
    start.push_back(startMinute);
    minutes.push_back(length);
    venue.push_back(leqVenue);
    neighbour.push_back(leqNeighbour);
    limitVenue.push_back(limVenue);
    limitNeighbour.push_back(limNeighbour);
    flags.push_back(flagBits);
}

std::vector<CurveRun> decimateCurve(const HistoryData& data, HistoryCurve curve, qint64 from, qint64 to, int width)
{
    std::vector<CurveRun> runs;
    if (width <= 0 || to <= from)
        return runs;
    bool open = false;
    qint64 previousEnd = 0;
    for (std::size_t i = firstEndingAfter(data, from); i < data.size() && data.start[i] < to; ++i) {
        float v = 0;
        const bool has = curveValue(data, curve, i, &v);
        // A record that does not follow on from the one before leaves a gap.
        if (!has || (open && data.start[i] > previousEnd)) {
            open = false;
        }
        previousEnd = data.end(i);
        if (!has)
            continue;
        const int x = columnOf(std::max(data.start[i], from), from, to, width);
        if (!open) {
            runs.emplace_back();
            open = true;
        }
        CurveRun& run = runs.back();
        if (!run.empty() && run.back().x == x) {
            run.back().low = std::min(run.back().low, v);
            run.back().high = std::max(run.back().high, v);
        } else {
            run.push_back({x, v, v});
        }
    }
    return runs;
}

std::vector<std::uint8_t> flagColumns(const HistoryData& data, qint64 from, qint64 to, int width)
{
    std::vector<std::uint8_t> columns(std::size_t(std::max(width, 0)), 0);
    if (width <= 0 || to <= from)
        return columns;
    for (std::size_t i = firstEndingAfter(data, from); i < data.size() && data.start[i] < to; ++i) {
        if (data.flags[i] == 0)
            continue;
        const int a = std::max(columnOf(std::max(data.start[i], from), from, to, width), 0);
        // The last minute of the interval, so it does not spill into the next column.
        const int b = std::min(columnOf(std::min(data.end(i), to) - 1, from, to, width), width - 1);
        for (int x = a; x <= b; ++x)
            columns[std::size_t(x)] |= data.flags[i];
    }
    return columns;
}

std::vector<MinuteSpan> nightSpans(qint64 from, qint64 to, const QTime& nightStart, const QTime& nightEnd)
{
    std::vector<MinuteSpan> spans;
    if (!nightStart.isValid() || !nightEnd.isValid() || nightStart == nightEnd || to <= from)
        return spans;
    const qint64 startOfDay = nightStart.hour() * 60 + nightStart.minute();
    qint64 length = nightEnd.hour() * 60 + nightEnd.minute() - startOfDay;
    if (length < 0)
        length += kDayMinutes;
    // Begin with the night that started the day before `from`.
    qint64 day = (from >= 0 ? from / kDayMinutes : (from - kDayMinutes + 1) / kDayMinutes) - 1;
    for (;; ++day) {
        const qint64 a = day * kDayMinutes + startOfDay;
        if (a >= to)
            break;
        const qint64 b = a + length;
        if (b > from)
            spans.push_back({std::max(a, from), std::min(b, to)});
    }
    return spans;
}

HistoryViewport HistoryViewport::whole(const HistoryData& data)
{
    if (data.size() == 0)
        return {0, kDayMinutes};
    const qint64 margin = std::max<qint64>((data.last() - data.first()) / 50, 10);
    return {data.first() - margin, data.last() + margin};
}

HistoryViewport HistoryViewport::zoomed(double factor, double anchor, const HistoryData& data) const
{
    const HistoryViewport all = whole(data);
    const double pivot = double(from) + anchor * double(span());
    const qint64 newSpan = std::clamp<qint64>(qint64(std::llround(double(span()) * factor)),
                                              std::min(kMinuteSpan, all.span()), all.span());
    HistoryViewport v;
    v.from = qint64(std::llround(pivot - anchor * double(newSpan)));
    v.to = v.from + newSpan;
    return v.panned(0, data);
}

HistoryViewport HistoryViewport::panned(double fraction, const HistoryData& data) const
{
    const HistoryViewport all = whole(data);
    const qint64 s = std::min(span(), all.span());
    qint64 a = from + qint64(std::llround(fraction * double(s)));
    a = std::clamp(a, all.from, all.to - s);
    return {a, a + s};
}

} // namespace tvq52
