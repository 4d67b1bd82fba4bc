#include "reports/history_graph_data.h"

#include <gtest/gtest.h>

namespace tvq52 {
namespace {

// Two-minute intervals from minute 0 with the given venue levels; a NaN
// leaves a two-minute hole in the records instead.
HistoryData series(const std::vector<float>& venue, std::uint8_t flagsOf3 = 0)
{
    HistoryData d;
    qint64 t = 0;
    for (std::size_t i = 0; i < venue.size(); ++i, t += 2) {
        if (std::isnan(venue[i]))
            continue;
        d.append(t, 2, venue[i], 30, 90, std::uint8_t(35 + i), i == 3 ? flagsOf3 : 0);
    }
    return d;
}

std::vector<std::vector<int>> xs(const std::vector<CurveRun>& runs)
{
    std::vector<std::vector<int>> out;
    for (const CurveRun& run : runs) {
        out.emplace_back();
        for (const CurveColumn& c : run)
            out.back().push_back(c.x);
    }
    return out;
}

TEST(HistoryDecimation, EachPixelColumnKeepsItsLowestAndHighestValue)
{
    // Eight intervals over 16 minutes in four columns: two intervals each.
    const HistoryData d = series({70, 80, 95, 60, 61, 62, 100, 50});
    const auto runs = decimateCurve(d, HistoryCurve::Venue, 0, 16, 4);
    ASSERT_EQ(runs.size(), 1u);
    std::vector<std::pair<float, float>> extremes;
    for (const CurveColumn& c : runs[0])
        extremes.emplace_back(c.low, c.high);
    EXPECT_EQ(xs(runs), (std::vector<std::vector<int>>{{0, 1, 2, 3}}));
    EXPECT_EQ(extremes, (std::vector<std::pair<float, float>>{{70, 80}, {60, 95}, {61, 62}, {50, 100}}));

    // Zoomed onto the last four minutes: one column per interval, the
    // earlier ones left out.
    const auto zoomed = decimateCurve(d, HistoryCurve::Venue, 12, 16, 200);
    EXPECT_EQ(xs(zoomed), (std::vector<std::vector<int>>{{0, 100}}));
    // A limit curve is drawn from the same intervals.
    const auto limit = decimateCurve(d, HistoryCurve::LimitNeighbour, 0, 16, 2);
    ASSERT_EQ(limit.size(), 1u);
    EXPECT_EQ(limit[0][0].low, 35);
    EXPECT_EQ(limit[0][1].high, 42);
}

TEST(HistoryDecimation, GapsAndIntervalsWithoutAValueBreakTheLine)
{
    const float hole = std::numeric_limits<float>::quiet_NaN();
    // A hole in the records after the second interval; the fifth has no level.
    const HistoryData d = series({70, 71, hole, 72, 0, 74, 75, 76});
    EXPECT_EQ(xs(decimateCurve(d, HistoryCurve::Venue, 0, 16, 16)),
              (std::vector<std::vector<int>>{{0, 2}, {6}, {10, 12, 14}}));
    // Limits are always in force: only the hole breaks them.
    EXPECT_EQ(decimateCurve(d, HistoryCurve::LimitVenue, 0, 16, 16).size(), 2u);

    // A sensor-inactive interval measured nothing.
    const HistoryData inactive = series({70, 71, 72, 73, 74}, HistoryData::SensorInactive);
    EXPECT_EQ(xs(decimateCurve(inactive, HistoryCurve::Neighbour, 0, 10, 10)),
              (std::vector<std::vector<int>>{{0, 2, 4}, {8}}));
}

TEST(HistoryDecimation, FlagsMarkTheColumnsTheirIntervalCovers)
{
    const HistoryData d = series({70, 70, 70, 70, 70, 70}, HistoryData::PassVenue | HistoryData::SensorInactive);
    // Interval 3 covers minutes 6 and 7: columns 3 of 6 at two minutes each,
    // columns 6 and 7 of 12.
    auto columns = flagColumns(d, 0, 12, 6);
    EXPECT_EQ(columns, (std::vector<std::uint8_t>{0, 0, 0, 3, 0, 0}));
    columns = flagColumns(d, 0, 12, 12);
    EXPECT_EQ(std::count(columns.begin(), columns.end(), 3), 2);
    EXPECT_EQ(columns[6], 3);
    EXPECT_EQ(columns[7], 3);
    // Wider than the pixel: one column of three holds it.
    EXPECT_EQ(flagColumns(d, 0, 12, 3), (std::vector<std::uint8_t>{0, 3, 0}));
}

TEST(HistoryNight, NightsCrossingMidnightAreCutToTheShownSpan)
{
    const qint64 day = 24 * 60;
    // From noon on day 1 to noon on day 3 with nights from 22:00 to 08:00.
    const auto spans = nightSpans(day + 720, 3 * day + 720, QTime(22, 0), QTime(8, 0));
    ASSERT_EQ(spans.size(), 2u);
    EXPECT_EQ(spans[0].from, day + 22 * 60);
    EXPECT_EQ(spans[0].to, 2 * day + 8 * 60);
    EXPECT_EQ(spans[1].from, 2 * day + 22 * 60);
    EXPECT_EQ(spans[1].to, 3 * day + 8 * 60);
    // Starting inside a night that began the day before.
    const auto inside = nightSpans(2 * day + 60, 2 * day + 120, QTime(22, 0), QTime(8, 0));
    ASSERT_EQ(inside.size(), 1u);
    EXPECT_EQ(inside[0].from, 2 * day + 60);
    EXPECT_EQ(inside[0].to, 2 * day + 120);
    // A night inside one day, and none when the hours are equal.
    const auto early = nightSpans(0, day, QTime(1, 0), QTime(6, 30));
    ASSERT_EQ(early.size(), 1u);
    EXPECT_EQ(early[0].to - early[0].from, 330);
    EXPECT_TRUE(nightSpans(0, day, QTime(0, 0), QTime(0, 0)).empty());
}

TEST(HistoryViewportTest, ZoomKeepsTheAnchorAndPanStopsAtTheRecords)
{
    HistoryData d;
    for (qint64 t = 0; t < 10000; t += 2)
        d.append(t, 2, 70, 30, 90, 35, 0);
    const HistoryViewport all = HistoryViewport::whole(d);
    EXPECT_LT(all.from, 0);
    EXPECT_GT(all.to, 10000);
    const HistoryViewport in = all.zoomed(0.5, 0.25, d);
    EXPECT_EQ(in.span(), all.span() / 2);
    // The minute under the anchor stays under it.
    EXPECT_NEAR(double(in.from) + 0.25 * double(in.span()), double(all.from) + 0.25 * double(all.span()), 1.0);
    // Never narrower than an hour, never wider than everything.
    EXPECT_EQ(in.zoomed(1e-6, 0.5, d).span(), 60);
    EXPECT_EQ(in.zoomed(100, 0.5, d).span(), all.span());
    // Panning past the oldest record stops there.
    const HistoryViewport left = in.panned(-10, d);
    EXPECT_EQ(left.from, all.from);
    EXPECT_EQ(left.span(), in.span());
    EXPECT_EQ(in.panned(10, d).to, all.to);
    EXPECT_EQ(in.panned(0.1, d).from - in.from, qint64(std::llround(0.1 * double(in.span()))));
}

} // namespace
} // namespace tvq52
