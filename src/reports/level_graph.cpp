#include "reports/level_graph.h"

#include "records/recorded_data.h"
#include "reports/level_script.h"

#include <algorithm>

namespace tvq52 {

GraphSlider graphSlider(int records)
{
    if (records > kGraphPoints)
        return {0, records - kGraphPoints};
    return {-1, 0};
}

int stepLeft(const GraphSlider& slider, int value)
{
    return value > 0 ? std::max(value - 1, slider.minimum) : value;
}

int stepRight(const GraphSlider& slider, int value)
{
    return value < slider.maximum ? value + 1 : value;
}

int eventSeriesFor(const QString& firmware)
{
    return intervalLayoutFor(firmware) == IntervalLayout::Before30 ? EventLineShort : kEventSeries;
}

GraphPage fillGraphPage(const QList<GraphRecord>& records, int sliderValue, int firstRecord)
{
    GraphPage page;
    // Below 0 the slider has nothing to skip.
    const int first = std::max(sliderValue, 0);
    for (int i = 0; i < kGraphPoints; ++i) {
        GraphPoint& p = page[std::size_t(i)];
        p.levels.fill(kNoPoint);
        const int index = first + i;
        const int at = index - firstRecord;
        if (at < 0 || at >= records.size()) {
            p.label = QStringLiteral(" ");
            continue;
        }
        const GraphRecord& r = records[at];
        p.used = true;
        p.record = index;
        // The first point compares with the record before the window, so a
        // window that starts on a new day shows it too.
        if (at > 0 && records[at - 1].start.date() != r.start.date()) {
            p.levels[SeriesDayChange] = kDayChangeHeight;
            p.newDay = true;
            if (i > 0)
                page[std::size_t(i - 1)].levels[SeriesDayChange] = kDayChangeHeight;
        }
        p.label = r.start.date().toString(QStringLiteral("dd.MM.yy")) + QStringLiteral("  ")
            + r.start.time().toString(QStringLiteral("hh:mm")) + QStringLiteral(" <> ")
            + r.end.time().toString(QStringLiteral("hh:mm"));
        // A stored 0 is no value: the point stays empty rather than drawing
        // a line down to 0 dB.
        const auto measured = [](float level) { return level == kNoLevel ? kNoPoint : level; };
        p.levels[SeriesLimitVenue] = measured(float(r.limitVenue));
        p.levels[SeriesLimitNeighbour] = measured(float(r.limitNeighbour));
        p.levels[SeriesLimitFast] = measured(float(r.limitFast));
        // A record with the sensor inactive measured nothing: only its limits show.
        if (r.sensorInactive == 0) {
            p.levels[SeriesLeqVenue] = measured(r.leqVenue);
            p.levels[SeriesLeqNeighbour] = measured(r.leqNeighbour);
            p.levels[SeriesMaxFast] = measured(r.maxFast);
            p.levels[SeriesMaxLeq1] = measured(r.maxLeq1);
            p.levels[SeriesMinLeq1] = measured(r.minLeq1);
            for (int k = 0; k < 5; ++k)
                p.levels[std::size_t(SeriesL1 + k)] = measured(r.percentiles[std::size_t(k)]);
        }
        const auto flagged = [](int byte) { return byte != 0 && byte != 255; };
        p.events[EventDisconnection] = r.disconnections >= 1;
        p.events[EventPassVenue] = r.passesVenue >= 1;
        p.events[EventPassNeighbour] = r.passesNeighbour >= 1;
        p.events[EventSensorInactive] = r.sensorInactive >= 1;
        p.events[EventPassFast] = r.fastPasses >= 1;
        p.events[EventLineShort] = flagged(r.lineShort);
        p.events[EventDna] = flagged(r.dna);
        p.events[EventEna] = flagged(r.ena);
    }
    return page;
}

QString pointDisplayText(const GraphPoint& point, const std::array<QString, 8>& names)
{
    QStringList first;
    for (int s = 0; s < 8; ++s) {
        const float v = point.levels[std::size_t(s)];
        // The neighbour's limit is a neighbour level too: 35 dB is no under-range.
        const bool neighbour = s == SeriesLeqNeighbour || s == SeriesLimitNeighbour;
        const QString text = neighbour ? neighbourLevelPointText(double(v)) : levelPointText(double(v));
        first << names[std::size_t(s)] + QLatin1Char(':') + text;
    }
    static const char* const kPercentiles[] = {"L1:", " L5:", " L10:", " L50:", " L90:"};
    QString second;
    for (int k = 0; k < 5; ++k)
        second += QLatin1String(kPercentiles[k]) + levelPointText(double(point.levels[std::size_t(SeriesL1 + k)]));
    return first.join(QLatin1Char(' ')) + QLatin1Char('\n') + second;
}

} // namespace tvq52
