#include "db/store.h"
#include "reports/exceedance_summary.h"
#include "reports/report_store.h"
#include "support/rows.h"
#include "support/temp_home.h"

#include "support/folder_database.h"
#include <gtest/gtest.h>

using namespace tvq52;
using namespace tvq52::test;

namespace {

constexpr qint32 kSerial = 52001;

QDateTime at(int d, int h, int m)
{
    return QDateTime(QDate(2026, 6, d), QTime(h, m), Qt::UTC);
}

class ExceedanceTest : public FolderDatabaseTest {
protected:
    void SetUp() override
    {
        FolderDatabaseTest::SetUp();
        ASSERT_TRUE(store->insert(
            "Programacion",
            row({{"LNumeroSerie", kSerial}, {"THoraEmpiezaNoche", "23:00"}, {"THoraTerminaNoche", "07:00"}})));
    }
    // A 15-minute interval starting at `start`.
    void interval(const QDateTime& start, int pasLocal, int pasVecino, int pasFast, double leqLocal, int limLocal,
                  double leqVecino, int limVecino, double maxFast, int limFast, int e3 = 0, int desco = 0)
    {
        const QDateTime end = start.addSecs(15 * 60);
        ASSERT_TRUE(store->insert("Intervalos",
                                  row({{"LNumeroSerie", kSerial},
                                       {"DFechaInicio", start.date()},
                                       {"THoraInicio", start.toString("HH:mm")},
                                       {"DFechaFinal", end.date()},
                                       {"THoraFinal", end.toString("HH:mm")},
                                       {"ByTLeq", 15},
                                       {"IPasadasLocal", pasLocal},
                                       {"IPasadasVecino", pasVecino},
                                       {"IPasMaxFast", pasFast},
                                       {"SLeqLocal", leqLocal},
                                       {"ByNivelLeqLocal", limLocal},
                                       {"SLeqVecino", leqVecino},
                                       {"ByNivelLeqVecino", limVecino},
                                       {"SMaxFast", maxFast},
                                       {"ByNivelMFast", limFast},
                                       {"IE3", e3},
                                       {"IDesco", desco}})))
            << store->lastError().toStdString();
    }
};

} // namespace

// One night worked out by hand: 23:00-07:00 is 480 minutes; A, B, C and D
// cover 60 of them (the half hour after B and the early morning are gaps);
// the intervals at 22:45 and 07:00 lie outside the night.
TEST_F(ExceedanceTest, AHandBuiltNightAddsUpAsWorkedOutByHand)
{
    interval(at(1, 22, 45), 500, 500, 9, 99.0, 80, 60.0, 35, 110.0, 100);  // before the night
    interval(at(1, 23, 0), 30, 0, 1, 82.4, 80, 40.0, 35, 95.1, 100);       // A
    interval(at(1, 23, 15), 10, 5, 0, 121.0, 80, 30.0, 35, 101.0, 100, 1); // B: over the range
    interval(at(2, 0, 0), 0, 0, 0, 0.0, 80, 0.0, 35, 0.0, 100, 3, 2);      // C: sensor inactive
    interval(at(2, 6, 45), 0, 4, 2, 70.0, 255, 36.0, 35, 90.0, 100);       // D: no venue limit
    interval(at(2, 7, 0), 700, 700, 7, 110.0, 80, 70.0, 35, 115.0, 100);   // after the night
    ASSERT_TRUE(store->insert("Sesiones",
                              row({{"LNumeroSerie", kSerial},
                                   {"DFechaInicio", QDate(2026, 6, 1)},
                                   {"THoraInicio", "22:00"},
                                   {"DFechaFinal", QDate(2026, 6, 2)},
                                   {"THoraFinal", "03:00"},
                                   {"LPasadasLocal", 1234},
                                   {"LPasadasVecino", 56},
                                   {"LPasMaxFast", 7},
                                   {"LE3", 2},
                                   {"LDesco", 1},
                                   {"ITiempoAtenuacion", 90}})));

    const auto s = loadExceedanceSummary(*db, kSerial, at(1, 22, 0), at(2, 8, 0));
    ASSERT_TRUE(s) << s.error().detail.toStdString();
    EXPECT_EQ(s->night.start, QTime(23, 0));
    ASSERT_EQ(s->nights.size(), 1u); // the nights before and after lie outside the range
    const NightSummary& n = s->nights[0];
    EXPECT_EQ(n.start, at(1, 23, 0));
    EXPECT_EQ(n.end, at(2, 7, 0));
    EXPECT_EQ(n.intervals, 4);
    EXPECT_EQ(n.passesVenue, 40);
    EXPECT_EQ(n.passesNeighbour, 9);
    EXPECT_EQ(n.passesFast, 3);
    EXPECT_FLOAT_EQ(n.venue.level, 121.0f);
    EXPECT_EQ(n.venue.limit, 80);
    EXPECT_EQ(n.venue.over, 2); // A and B; D has no limit
    EXPECT_FLOAT_EQ(n.neighbour.level, 40.0f);
    EXPECT_EQ(n.neighbour.over, 2); // A and D
    EXPECT_FLOAT_EQ(n.fast.level, 101.0f);
    EXPECT_EQ(n.fast.over, 1);
    EXPECT_EQ(n.sensorInactive, 2);
    EXPECT_EQ(n.disconnected, 1);
    EXPECT_EQ(n.minutesWithoutRecord, 420);

    ASSERT_EQ(s->sessions.size(), 1u);
    EXPECT_EQ(s->sessions[0].passesVenue, 1234);
    EXPECT_EQ(s->sessions[0].passesNeighbour, 56);
    EXPECT_EQ(s->sessions[0].passesFast, 7);
    EXPECT_EQ(s->sessions[0].sensorInactive, 2);
    EXPECT_EQ(s->sessions[0].disconnections, 1);
    EXPECT_EQ(s->sessions[0].attenuation, 90);
}

// Quarter-hour intervals from `first` on, `count` of them.
static std::vector<IntervalFigures> quarters(const QDateTime& first, int count)
{
    std::vector<IntervalFigures> list;
    for (int k = 0; k < count; ++k) {
        IntervalFigures i;
        i.start = first.addSecs(k * 900);
        i.end = i.start.addSecs(900);
        list.push_back(i);
    }
    return list;
}

TEST(ExceedanceNights, NightsAreClippedToTheRangeAndAGapIsNeverCompliance)
{
    const NightHours night{QTime(23, 0), QTime(7, 0)};
    IntervalFigures a, b; // overlapping: their minutes count once
    a.start = at(1, 23, 0);
    a.end = at(1, 23, 30);
    b.start = at(1, 23, 15);
    b.end = at(2, 0, 0);
    struct Case {
        const char* what;
        QDateTime from, to;
        NightHours hours;
        size_t nights;
        int firstGap;
        std::vector<IntervalFigures> intervals = {};
    } cases[] = {
        {"a range starting inside a night keeps its tail", at(2, 2, 0), at(2, 12, 0), night, 1, 300},
        {"a range ending inside a night keeps its head, up to its end", at(1, 12, 0), at(2, 0, 59), night, 1, 119},
        {"two whole nights", at(1, 12, 0), at(3, 12, 0), night, 2, 480},
        {"a night within one day", at(1, 0, 0), at(1, 23, 59), NightHours{QTime(1, 0), QTime(5, 30)}, 1, 270},
        {"no night programmed", at(1, 0, 0), at(5, 0, 0), NightHours{QTime(0, 0), QTime(0, 0)}, 0, 0},
        {"overlapping intervals", at(1, 23, 0), at(2, 7, 0), night, 1, 420, {a, b}},
    };
    for (const Case& c : cases) {
        const ExceedanceSummary s = summarizeExceedances(c.intervals, {}, c.hours, c.from, c.to);
        ASSERT_EQ(s.nights.size(), c.nights) << c.what;
        if (c.nights) {
            EXPECT_EQ(s.nights[0].minutesWithoutRecord, c.firstGap) << c.what;
        }
    }
}

TEST(ExceedanceNights, ARangeEndingInsideANightEndsItThereWithNoMinuteMissing)
{
    const NightHours night{QTime(22, 0), QTime(8, 0)};
    const struct {
        const char* what;
        std::vector<IntervalFigures> intervals;
        QDateTime to, end;
        int count, gap;
    } cases[] = {
        {"recorded whole to the range's end", quarters(at(1, 22, 0), 16), at(2, 2, 0), at(2, 2, 0), 16, 0},
        // It runs on to the end of an interval starting at the range's end, not past the next.
        {"an interval starting at the end", quarters(at(1, 22, 0), 18), at(2, 2, 0), at(2, 2, 15), 17, 0},
        {"the night's own end bounds it", quarters(at(2, 7, 45), 1), at(2, 7, 45), at(2, 8, 0), 1, 9 * 60 + 45},
    };
    for (const auto& c : cases) {
        const auto s = summarizeExceedances(c.intervals, {}, night, at(1, 20, 0), c.to);
        ASSERT_EQ(s.nights.size(), 1u) << c.what;
        EXPECT_EQ(s.nights[0].start, at(1, 22, 0)) << c.what;
        EXPECT_EQ(s.nights[0].end, c.end) << c.what;
        EXPECT_EQ(s.nights[0].intervals, c.count) << c.what;
        EXPECT_EQ(s.nights[0].minutesWithoutRecord, c.gap) << c.what;
    }
}
