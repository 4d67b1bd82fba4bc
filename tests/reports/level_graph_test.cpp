#include "../programming/programming_fixture.h"
#include "i18n/translator.h"
#include "records/recorded_data.h"
#include "reports/graph_store.h"
#include "reports/history_graph_data.h"
#include "reports/level_graph.h"
#include "reports/level_script.h"
#include "reports/report_format.h"
#include "support/file_bytes.h"
#include "support/printers.h"
#include "support/result_checks.h"
#include "support/rows.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tvq52 {
namespace {

// `n` two-minute records from 1 May 2026 00:00, each with its index as its
// venue level so a point tells which record it shows.
QList<GraphRecord> records(int n)
{
    QList<GraphRecord> list;
    const QDateTime base = wallClock(QDate(2026, 5, 1), QTime(0, 0));
    for (int i = 0; i < n; ++i) {
        GraphRecord r;
        r.start = base.addSecs(120 * i);
        r.end = r.start.addSecs(120);
        r.leqVenue = float(i);
        r.limitVenue = 90;
        list << r;
    }
    return list;
}

std::vector<int> shownRecords(const GraphPage& page)
{
    std::vector<int> shown;
    for (const GraphPoint& p : page)
        if (p.used)
            shown.push_back(p.record);
    return shown;
}

std::vector<int> range(int from, int count)
{
    std::vector<int> v;
    for (int i = 0; i < count; ++i)
        v.push_back(from + i);
    return v;
}

TEST(GraphWindowOfRecords, ThirtyRecordsFillThirtyPointsAndLeaveTheRestEmpty)
{
    const GraphSlider slider = graphSlider(30);
    EXPECT_EQ(slider.minimum, -1);
    EXPECT_EQ(slider.maximum, 0);
    const GraphPage page = fillGraphPage(records(30), slider.maximum);
    EXPECT_EQ(shownRecords(page), range(0, 30));
    for (int i = 30; i < kGraphPoints; ++i) {
        const GraphPoint& p = page[std::size_t(i)];
        EXPECT_EQ(p.label, QStringLiteral(" ")) << i;
        for (float v : p.levels)
            EXPECT_EQ(v, kNoPoint) << i;
        for (bool e : p.events)
            EXPECT_FALSE(e) << i;
    }
    // A slider dragged to -1 shows the same records.
    EXPECT_EQ(shownRecords(fillGraphPage(records(30), -1)), range(0, 30));
}

TEST(GraphWindowOfRecords, HundredTwentyRecordsOpenOnTheNewestAndStepLeftByOne)
{
    const QList<GraphRecord> all = records(120);
    const GraphSlider slider = graphSlider(120);
    EXPECT_EQ(slider.minimum, 0);
    EXPECT_EQ(slider.maximum, 70);
    const GraphPage newest = fillGraphPage(all, slider.maximum);
    EXPECT_EQ(shownRecords(newest), range(70, 50));
    EXPECT_EQ(newest[0].levels[SeriesLeqVenue], 70);
    const int left = stepLeft(slider, slider.maximum);
    EXPECT_EQ(left, 69);
    EXPECT_EQ(shownRecords(fillGraphPage(all, left)), range(69, 50));
    // The shown records and the one before them alone make the same page.
    const GraphPage stretch = fillGraphPage(all.mid(68, 51), left, 68);
    EXPECT_EQ(shownRecords(stretch), range(69, 50));
    EXPECT_EQ(stretch[49].levels[SeriesLeqVenue], 118);
    // The buttons stop at the ends.
    EXPECT_EQ(stepRight(slider, slider.maximum), 70);
    EXPECT_EQ(stepLeft(slider, 0), 0);
    EXPECT_EQ(stepRight(slider, left), 70);
    EXPECT_EQ(graphSlider(51).maximum, 1);
    EXPECT_EQ(graphSlider(50).minimum, -1);
}

TEST(GraphWindowOfRecords, DayChangeBarStandsBetweenTheLastRecordOfADayAndTheFirstOfTheNext)
{
    QList<GraphRecord> list = records(4);
    const QDateTime eve = wallClock(QDate(2025, 12, 31), QTime(23, 46));
    for (int i = 0; i < 4; ++i) {
        list[i].start = eve.addSecs(i * 240);
        list[i].end = list[i].start.addSecs(240);
    }
    // 23:46, 23:50, 23:54, 23:58 -> move the last two over midnight.
    list[2].start = wallClock(QDate(2026, 1, 1), QTime(0, 0));
    list[3].start = wallClock(QDate(2026, 1, 1), QTime(0, 4));
    list[2].end = list[3].start;
    const GraphPage page = fillGraphPage(list, 0);
    const std::vector<float> bars{page[0].levels[SeriesDayChange], page[1].levels[SeriesDayChange],
                                  page[2].levels[SeriesDayChange], page[3].levels[SeriesDayChange]};
    EXPECT_EQ(bars, (std::vector<float>{kNoPoint, kDayChangeHeight, kDayChangeHeight, kNoPoint}));
    EXPECT_EQ(page[1].label, QStringLiteral("31.12.25  23:50 <> 23:54"));
    EXPECT_TRUE(page[2].newDay);
    EXPECT_FALSE(page[1].newDay || page[3].newDay);
    EXPECT_EQ(page[2].label, QStringLiteral("01.01.26  00:00 <> 00:04"));

    // A window that opens on the first record of a day marks that point alone.
    const GraphPage later = fillGraphPage(list, 2);
    EXPECT_EQ(later[0].levels[SeriesDayChange], kDayChangeHeight);
    EXPECT_EQ(later[1].levels[SeriesDayChange], kNoPoint);
    EXPECT_TRUE(later[0].newDay);
    EXPECT_TRUE(fillGraphPage(list.mid(1), 2, 1)[0].newDay);
}

TEST(GraphWindowOfRecords, SensorInactiveRecordShowsOnlyItsLimits)
{
    GraphRecord r = records(1).front();
    r.leqVenue = 80;
    r.leqNeighbour = 40;
    r.maxFast = 95;
    r.maxLeq1 = 85;
    r.minLeq1 = 60;
    r.percentiles = {90, 88, 86, 70, 65};
    r.limitVenue = 90;
    r.limitNeighbour = 35;
    r.limitFast = 100;
    r.sensorInactive = 5;
    const GraphPoint p = fillGraphPage({r}, 0)[0];
    for (int s = 0; s < kLevelSeries; ++s) {
        const bool limit = s == SeriesLimitVenue || s == SeriesLimitNeighbour || s == SeriesLimitFast;
        if (!limit) {
            EXPECT_EQ(p.levels[std::size_t(s)], kNoPoint) << s;
        }
    }
    EXPECT_EQ(p.levels[SeriesLimitVenue], 90);
    EXPECT_EQ(p.levels[SeriesLimitNeighbour], 35);
    EXPECT_EQ(p.levels[SeriesLimitFast], 100);
    EXPECT_TRUE(p.events[EventSensorInactive]);

    r.sensorInactive = 0;
    const GraphPoint measured = fillGraphPage({r}, 0)[0];
    EXPECT_EQ(measured.levels[SeriesLeqNeighbour], 40);
    EXPECT_EQ(measured.levels[SeriesL50], 70);
    // A level stored as 0 (no value) leaves its point empty.
    r.leqNeighbour = 0;
    EXPECT_EQ(fillGraphPage({r}, 0)[0].levels[SeriesLeqNeighbour], kNoPoint);
    EXPECT_FALSE(measured.events[EventSensorInactive]);
}

TEST(GraphWindowOfRecords, EventMarksFollowTheirColumns)
{
    struct Case {
        int disconnections, passesVenue, lineShort, dna, ena;
        bool disconnection, pass, line, dnaMark, enaMark;
    };
    const Case cases[] = {
        {0, 0, 0, 0, 0, false, false, false, false, false},
        {1, 3, 255, 255, 255, true, true, false, false, false},
        {2, 0, 12, 1, 254, true, false, true, true, true},
    };
    for (const Case& c : cases) {
        GraphRecord r = records(1).front();
        r.disconnections = c.disconnections;
        r.passesVenue = c.passesVenue;
        r.lineShort = c.lineShort;
        r.dna = c.dna;
        r.ena = c.ena;
        const GraphPoint p = fillGraphPage({r}, 0)[0];
        EXPECT_EQ(p.events[EventDisconnection], c.disconnection) << c.disconnections;
        EXPECT_EQ(p.events[EventPassVenue], c.pass) << c.passesVenue;
        EXPECT_EQ(p.events[EventLineShort], c.line) << c.lineShort;
        EXPECT_EQ(p.events[EventDna], c.dnaMark) << c.dna;
        EXPECT_EQ(p.events[EventEna], c.enaMark) << c.ena;
    }
    EXPECT_EQ(eventSeriesFor(QStringLiteral("2.9")), EventLineShort);
    EXPECT_EQ(eventSeriesFor(QStringLiteral("3.0")), kEventSeries);
}

TEST(GraphPointDisplay, VenueAndNeighbourRules)
{
    struct Case {
        float level;
        const char* venue;
        const char* neighbour;
    };
    const Case cases[] = {
        {-1.0f, "---", "---"},  {0.0f, "---", "0.0"},    {45.2f, "UND", "45.2"},  {59.0f, "UND", "59.0"},
        {59.9f, "UND", "59.9"}, {60.0f, "60.0", "60.0"}, {75.3f, "75.3", "75.3"}, {120.0f, "120.0", "120.0"},
        {120.1f, "UP", "UP"},   {121.0f, "UP", "UP"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(levelPointText(double(c.level)), QString::fromLatin1(c.venue)) << c.level;
        EXPECT_EQ(neighbourLevelPointText(double(c.level)), QString::fromLatin1(c.neighbour)) << c.level;
    }
}

TEST(GraphPointDisplay, ClickedPointListsEveryCurveThenThePercentiles)
{
    GraphRecord r = records(1).front();
    r.leqVenue = 59.0f;
    r.leqNeighbour = 45.2f;
    r.maxFast = 101.4f;
    r.limitVenue = 90;
    r.limitNeighbour = 35;
    r.limitFast = 105;
    r.maxLeq1 = 88.8f;
    r.minLeq1 = 0;
    r.percentiles = {92.1f, 91, 130, 70.5f, 55};
    const GraphPoint p = fillGraphPage({r}, 0)[0];
    const std::array<QString, 8> names{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"),
                                       QStringLiteral("D"), QStringLiteral("E"), QStringLiteral("F"),
                                       QStringLiteral("G"), QStringLiteral("H")};
    EXPECT_EQ(pointDisplayText(p, names),
              QStringLiteral("A:UND B:45.2 C:101.4 D:90.0 E:35.0 F:105.0 G:88.8 H:---\n"
                             "L1:92.1 L5:91.0 L10:UP L50:70.5 L90:UND"));
}

class GraphStoreTest : public test::ProgrammingDatabase {
protected:
    void addInterval(qint32 serial, const QDate& day, const char* time, int minutes,
                     std::initializer_list<std::pair<const char*, QVariant>> set = {})
    {
        const QDateTime start = wallClock(day, QTime::fromString(QString::fromLatin1(time), QStringLiteral("hh:mm")));
        const QDateTime end = start.addSecs(60 * minutes);
        Row r = test::spanRow(serial, start, end, {{"ByTLeq", minutes}, {"BoRS232", false}, {"BoProgramacion", false}});
        for (const auto& [column, value] : set)
            r.set(QString::fromUtf8(column), value);
        ASSERT_TRUE(test::succeeded(store_->insert(QStringLiteral("Intervalos"), r)));
    }
};

TEST_F(GraphStoreTest, BothLoadersReadOneUnitOldestFirst)
{
    saveUnit(7);
    saveUnit(8);
    addInterval(7, QDate(2026, 3, 2), "00:10", 5, {{"SLeqLocal", 75.3}, {"IE3", 1}, {"ByNivelLeqLocal", 90}});
    addInterval(7, QDate(2026, 3, 1), "23:55", 5, {{"SLeqVecino", 41.5}, {"IPasadasVecino", 3}, {"ByDNA", 12}});
    addInterval(7, QDate(2026, 3, 2), "00:00", 10, {{"SL90", 55.5}, {"IPasadasLocal", 2}});
    addInterval(8, QDate(2026, 3, 1), "12:00", 5, {{"SLeqLocal", 99.0}});

    Result<QList<GraphRecord>> read = loadGraphRecords(*db_, 7);
    ASSERT_TRUE(read) << read.error().detail.toStdString();
    const QList<GraphRecord> list = *read;
    ASSERT_EQ(list.size(), 3);
    EXPECT_EQ(list[0].start, wallClock(QDate(2026, 3, 1), QTime(23, 55)));
    EXPECT_EQ(list[0].end, wallClock(QDate(2026, 3, 2), QTime(0, 0)));
    EXPECT_FLOAT_EQ(list[0].leqNeighbour, 41.5f);
    EXPECT_EQ(list[0].dna, 12);
    EXPECT_FLOAT_EQ(list[1].percentiles[4], 55.5f);
    EXPECT_FLOAT_EQ(list[2].leqVenue, 75.3f);
    EXPECT_EQ(list[2].limitVenue, 90);

    // A stretch, counted from either end, reads the same records in the same order.
    const Result<qint64> count = countGraphRecords(*db_, 7);
    ASSERT_TRUE(count);
    EXPECT_EQ(*count, 3);
    for (const auto& [first, n] : {std::pair{1, 2}, std::pair{0, 2}}) {
        const Result<QList<GraphRecord>> stretch = loadGraphRecords(*db_, 7, first, n, *count);
        ASSERT_TRUE(stretch);
        ASSERT_EQ(stretch->size(), n);
        EXPECT_EQ(stretch->front().start, list[first].start);
        EXPECT_EQ(stretch->back().start, list[first + n - 1].start);
    }

    const Result<HistoryData> history = loadHistory(*db_, 7);
    ASSERT_TRUE(history) << history.error().detail.toStdString();
    const HistoryData& data = *history;
    ASSERT_EQ(data.size(), 3u);
    const qint64 midnight = wallClock(QDate(2026, 3, 2), QTime(0, 0)).toSecsSinceEpoch() / 60;
    EXPECT_EQ(data.start, (std::vector<qint64>{midnight - 5, midnight, midnight + 10}));
    EXPECT_EQ(data.minutes, (std::vector<std::int32_t>{5, 10, 5}));
    EXPECT_EQ(
        data.flags,
        (std::vector<std::uint8_t>{HistoryData::PassNeighbour, HistoryData::PassVenue, HistoryData::SensorInactive}));
    EXPECT_FLOAT_EQ(data.venue[2], 75.3f);
    EXPECT_EQ(data.limitVenue[2], 90);

    const Result<QList<GraphRecord>> none = loadGraphRecords(*db_, 9);
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->isEmpty());
}

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

LevelScript parsed(const QString& text)
{
    auto result = LevelScript::parse(text);
    if (!result)
        ADD_FAILURE() << "script refused: " << result.error().detail.toStdString();
    return std::move(result).value();
}

// What the detail row prints for `variable` after the script ran.
QString printed(const ReportRow& row, const char* variable)
{
    return formatReportValue(row.value(QLatin1String(variable)), QString());
}

TEST(LevelScriptText, BlocksEndInCrLfAndTranslatedQuotesAreDoubled)
{
    Translator native;
    const QString script = BuildLevelScript(native);
    EXPECT_TRUE(script.startsWith(QStringLiteral("If [SL1] = 0 Then\r\n")));
    EXPECT_FALSE(script.contains(QRegularExpression(QStringLiteral("[^\\r]\\n"))));

    // A translation holding quotes is doubled in the script and prints whole.
    QTemporaryDir dir;
    const QString file = dir.filePath("lang.txt");
    ASSERT_TRUE(test::writeBytes(
        file,
        "[Localization Guru]\r\nNumberOfLanguages=2\r\nNumberOfStrings=1\r\nLanguage1=English\r\n"
        "Language1_Offset=12\r\n[NATIVE]\r\nS1=Sin calibrar\r\n[ENGLISH]\r\nS1=Not \"calibrated\"\r\n"));
    Translator english;
    english.foreignColumnName = QStringLiteral("English");
    ASSERT_TRUE(english.openLanguageDatabase(file, true, Translator::TextFile));
    const QString translated = BuildLevelScript(english);
    EXPECT_TRUE(translated.contains(QStringLiteral(" LByDNA = \"Not \"\"calibrated\"\"\"\r\n")));
    ReportRow row;
    row.set(QStringLiteral("ByDNA"), 255);
    ASSERT_TRUE(parsed(translated).run(row));
    EXPECT_EQ(printed(row, "LByDNA"), QStringLiteral("Not \"calibrated\""));
}

TEST(LevelScriptRun, LevelsCountersAndFlagsOnIntervalAndSessionRows)
{
    Translator native;
    const LevelScript script = parsed(BuildLevelScript(native));
    struct Case {
        const char* column;
        QVariant value;
        const char* expected;
    };
    // Levels arrive as the database gives single-precision values: widened floats.
    const Case cases[] = {
        {"SL1", double(0.0f), "---"},          {"SL1", double(59.9f), "und"},
        {"SL1", double(120.1f), "up"},         {"SL1", double(75.0f), "75"},
        {"SL1", double(75.3f), "75.3"},        {"SL5", double(60.0f), "60"},
        {"SL10", double(120.0f), "120"},       {"SMaxFast", double(59.9f), "und"},
        {"SLeqVecino", double(0.0f), "---"},   {"SLeqVecino", double(45.0f), "45"},
        {"SLeqVecino", double(12.5f), "12.5"}, // no under-range mark on the neighbour side
        {"ByENA", 255, "Sin calibrar"},        {"ByENA", 12, "12min"},
        {"ByLineaInsuficiente", 0, "0min"},    {"ByDNA", 254, "254min"},
        {"BoProgramacion", 1, "Sí"},           {"BoProgramacion", -1, "Sí"},
        {"BoProgramacion", true, "Sí"},        {"BoProgramacion", 0, "No"},
        {"BoProgramacion", false, "No"},
    };
    for (const Case& c : cases) {
        ReportRow row;
        row.set(QLatin1String(c.column), c.value);
        ASSERT_TRUE(script.run(row));
        const QByteArray variable = QByteArray("L") + c.column;
        EXPECT_EQ(printed(row, variable.constData()), QString::fromUtf8(c.expected))
            << c.column << " = " << c.value.toString().toStdString();
    }

    // A session row has no percentiles or minute counters: those blocks are
    // skipped and leave nothing behind.
    ReportRow session;
    session.set(QStringLiteral("SLeq"), double(82.4f));
    session.set(QStringLiteral("SMaxFast"), double(121.5f));
    session.set(QStringLiteral("SLeqVecino"), double(0.0f));
    ASSERT_TRUE(script.run(session));
    EXPECT_EQ(printed(session, "LSLeq"), QStringLiteral("82.4"));
    EXPECT_EQ(printed(session, "LSMaxFast"), QStringLiteral("up"));
    EXPECT_EQ(printed(session, "LSLeqVecino"), QStringLiteral("---"));
    for (const char* absent : {"LSL1", "LSL90", "LByENA", "LBoProgramacion", "LSLeqLocal"})
        EXPECT_FALSE(session.has(QLatin1String(absent))) << absent;
}

TEST(LevelScriptRun, LanguageFeaturesAndNullValues)
{
    const LevelScript script =
        parsed(QStringLiteral("If [A] <> 3 Then\r\n"
                              " X = \"say \"\"hi\"\"\" & [A] & \"/\" & Y\r\n"
                              "ElseIf [A] >= 3 Then\r\n"
                              " If [B] <= -2 Then\r\n"
                              "  X = \"nested\"\r\n"
                              " End If\r\n"
                              "End If\r\n"));
    ReportRow a;
    a.set(QStringLiteral("A"), 4);
    a.set(QStringLiteral("B"), 0);
    a.set(QStringLiteral("Y"), QStringLiteral("y"));
    ASSERT_TRUE(script.run(a));
    EXPECT_EQ(a.value(QStringLiteral("X")).toString(), QStringLiteral("say \"hi\"4/y"));

    ReportRow b;
    b.set(QStringLiteral("A"), 3);
    b.set(QStringLiteral("B"), -2.0);
    ASSERT_TRUE(script.run(b));
    EXPECT_EQ(b.value(QStringLiteral("X")).toString(), QStringLiteral("nested"));

    // A null level takes no comparison branch and prints as nothing.
    Translator native;
    ReportRow nulls;
    nulls.set(QStringLiteral("SL1"), QVariant());
    ASSERT_TRUE(parsed(BuildLevelScript(native)).run(nulls));
    EXPECT_EQ(printed(nulls, "LSL1"), QString());
}

TEST(LevelScriptParse, MalformedScriptsAreRefusedWithTheirLine)
{
    const struct {
        const char* text;
        const char* line;
    } cases[] = {
        {"If [SL1] = 0 Then\r\n LSL1 = \"---\"\r\n", "line 1"},
        {"Else\r\n", "line 1"},
        {"End If\r\n", "line 1"},
        {"If [SL1] = 0 Then\r\n LSL1 = \"---\r\nEnd If\r\n", "line 2"},
        {"If [SL1] = 0\r\n LSL1 = 1\r\nEnd If\r\n", "line 1"},
        {"If [SL1] = 0 Then\r\n LSL1 == 1\r\nEnd If\r\n", "line 2"},
        {"If [SL1 = 0 Then\r\nEnd If\r\n", "line 1"},
        {"LSL1 = \r\n", "line 1"},
        {"If [SL1] = 0 Then\r\nElse\r\nElse\r\nEnd If\r\n", "line 3"},
        {"Print LSL1\r\n", "line 1"},
    };
    for (const auto& c : cases) {
        auto result = LevelScript::parse(QString::fromUtf8(c.text));
        ASSERT_FALSE(result) << c.text;
        const Error* error = &result.error();
        EXPECT_TRUE(isReportFailure(*error, ReportFailure::Script));
        EXPECT_TRUE(error->detail.startsWith(QLatin1String(c.line))) << error->detail.toStdString();
    }
}

TEST(ReportFormat, DatesInEveryLanguageAndNumbersAsStored)
{
    EXPECT_EQ(formatReportValue(QStringLiteral("2024-03-05"), QStringLiteral("date")), QStringLiteral("05/03/2024"));
    EXPECT_EQ(formatReportValue(QDate(1999, 12, 31), QStringLiteral("date")), QStringLiteral("31/12/1999"));
    EXPECT_EQ(formatReportValue(double(25.5f), QStringLiteral("#.00")), QStringLiteral("25.50"));
    EXPECT_EQ(formatReportValue(double(0.5f), QStringLiteral("#.00")), QStringLiteral(".50"));
    EXPECT_EQ(formatReportValue(7, QStringLiteral("00")), QStringLiteral("07"));
    EXPECT_EQ(formatReportValue(double(75.3f), QStringLiteral("0.00")), QStringLiteral("75.30"));
    EXPECT_EQ(formatReportValue(double(75.3f), QString()), QStringLiteral("75.3"));
    EXPECT_EQ(formatReportValue(QVariant(), QStringLiteral("date")), QString());
}

} // namespace
} // namespace tvq52
