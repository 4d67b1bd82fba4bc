// Feeds arbitrary frames to the recorded-data decoders, in a heap buffer of
// exactly the frame's size: no decoder may read past it, and whatever one
// accepts must hold only what the tables can store.
#include "records/download_frames.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

bool storable(float level)
{
    return level == tvq52::kNoLevel || (level >= tvq52::kUnderRange && level <= tvq52::kOverRange);
}

bool storable(const tvq52::LevelStatistics& s)
{
    for (float level : {s.maxLeq1, s.minLeq1, s.lfmax, s.l1, s.l5, s.l10, s.l50, s.l90})
        if (!storable(level))
            return false;
    return s.maxLeq1At.isValid() && s.minLeq1At.isValid();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 512)
        return 0;
    const std::vector<std::uint8_t> frame(data, data + size);
    const int length = int(size);
    const QDateTime rangeStart = tvq52::wallClock(QDate(2001, 1, 1), QTime(0, 0));

    for (auto layout : {tvq52::IntervalLayout::From30, tvq52::IntervalLayout::Before30}) {
        const auto d = tvq52::decodeInterval(frame.data(), length, layout, rangeStart);
        if (d.kind != tvq52::RecordFrame::Record)
            continue;
        const tvq52::IntervalRecord& r = d.record;
        if (!r.start.isValid() || r.end < rangeStart || r.start > r.end || !storable(r.stats))
            __builtin_trap();
        // The neighbour level of the newer layout is kept as sent (0 to 140 dB).
        if (!storable(r.leqVenue) || r.leqNeighbour < 0.0f || r.leqNeighbour > 140.0f)
            __builtin_trap();
        if (r.disconnections < 0 || r.disconnections > 4000 || r.passesVenue < 0 || r.sensorInactive < 0)
            __builtin_trap();
        if ((layout == tvq52::IntervalLayout::Before30) == r.dna.has_value() || r.actionVenue.size() > 8
            || r.actionNeighbour.size() > 8 || r.actionNeighbour.isEmpty())
            __builtin_trap();
    }

    const auto s = tvq52::decodeSession(frame.data(), length, rangeStart);
    if (s.kind == tvq52::RecordFrame::Record) {
        if (!s.record.end.isValid() || s.record.start < rangeStart || !storable(s.record.stats)
            || !storable(s.record.leq) || s.record.passesVenue > 90000 || s.record.lfmaxPasses > 90000
            || s.record.nightStart.size() < 5 || s.record.nightStart.size() > 7)
            __builtin_trap();
    }

    const auto totals = tvq52::decodeTotals(frame.data(), length, rangeStart);
    if (totals && length < 21)
        __builtin_trap();
    for (const tvq52::EventDate& e : tvq52::decodeEventDates(frame.data(), length))
        if (!e.at.isValid())
            __builtin_trap();
    return 0;
}
