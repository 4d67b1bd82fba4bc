// The report store's reads by range and by column name, on either backend
// (the suite's pg. run puts them on a server).
#include "db/store.h"
#include "records/record_store.h"
#include "reports/exceedance_summary.h"
#include "reports/report.h"
#include "reports/report_store.h"
#include "support/folder_database.h"
#include "support/result_checks.h"
#include "support/rows.h"
#include "support/temp_home.h"

#include <QSqlQuery>
#include <QSqlRecord>
#include <gtest/gtest.h>

using namespace tvq52;
using namespace tvq52::test;

namespace {

constexpr qint32 kUnit = 3131;

QDateTime at(int d, int h, int mi)
{
    return wallClock(QDate(2026, 6, d), QTime(h, mi));
}

class ReportStoreTest : public FolderDatabaseTest {
protected:
    void SetUp() override
    {
        FolderDatabaseTest::SetUp();
        ASSERT_TRUE(store->insert(QStringLiteral("Programacion"),
                                  row({{"LNumeroSerie", kUnit},
                                       {"THoraEmpiezaNoche", QStringLiteral("23:00")},
                                       {"THoraTerminaNoche", QStringLiteral("07:00")}})));
    }
    void interval(const QDateTime& start, float venue, int limit)
    {
        IntervalRecord r;
        r.start = start;
        r.end = start.addSecs(15 * 60);
        r.leqMinutes = 15;
        r.leqVenue = venue;
        r.limitVenue = std::uint8_t(limit);
        r.passesVenue = 7;
        ASSERT_TRUE(store->upsert(QStringLiteral("Intervalos"), intervalRow(kUnit, r)));
    }
};

TEST_F(ReportStoreTest, RecordsStartingInARangeAreReadAndCountedWithBothEndsIncluded)
{
    for (const QDateTime& start : {at(1, 22, 45), at(1, 23, 0), at(2, 6, 45), at(2, 7, 0)})
        interval(start, 82.4f, 80);
    const ReportStore reports(*db);
    // Across midnight the date decides before the time; a range ending before
    // it starts, or another unit, holds nothing.
    for (const auto& [unit, from, to, n] : {std::tuple{kUnit, at(1, 23, 0), at(2, 6, 45), 2},
                                            std::tuple{kUnit, at(2, 7, 0), at(1, 22, 45), 0},
                                            std::tuple{kUnit + 1, at(1, 0, 0), at(3, 0, 0), 0}}) {
        const auto count = reports.countStartingIn(RecordKind::Intervals, unit, from, to);
        ASSERT_TRUE(count) << count.error().detail.toStdString();
        EXPECT_EQ(*count, n) << from.toString().toStdString();
    }
    QList<QDateTime> starts;
    const auto stamp = [](const QSqlQuery& row) {
        return storedStamp(row.value(row.record().indexOf(QStringLiteral("DFechaInicio"))),
                           row.value(row.record().indexOf(QStringLiteral("THoraInicio"))));
    };
    const Status read = reports.eachRecordStartingIn(RecordKind::Intervals, kUnit, at(1, 23, 0), at(2, 6, 45),
                                                     [&](const QSqlQuery& row) {
                                                         starts << stamp(row);
                                                         return Status();
                                                     });
    ASSERT_TRUE(read) << read.error().detail.toStdString();
    EXPECT_EQ(starts, (QList<QDateTime>{at(1, 23, 0), at(2, 6, 45)}));
    // A reader that has had enough stops the reading with its own answer.
    starts.clear();
    const Status stopped =
        reports.eachRecordStartingIn(RecordKind::Intervals, kUnit, at(1, 0, 0), at(3, 0, 0), [&](const QSqlQuery& row) {
            starts << stamp(row);
            return Status(Error(42, QStringLiteral("enough")));
        });
    ASSERT_FALSE(stopped);
    EXPECT_EQ(stopped.error().detail, QStringLiteral("enough"));
    EXPECT_EQ(starts, QList<QDateTime>{at(1, 22, 45)});
    const auto none = reports.countStartingIn(RecordKind::Sessions, kUnit, at(1, 0, 0), at(3, 0, 0));
    ASSERT_TRUE(none);
    EXPECT_EQ(*none, 0);

    // The summary reads the same intervals through the one interval reader.
    const auto figures = reports.intervalFigures(kUnit, at(1, 23, 0), at(2, 7, 0));
    ASSERT_TRUE(figures) << figures.error().detail.toStdString();
    ASSERT_EQ(figures->size(), 3u);
    EXPECT_EQ(figures->front().start, at(1, 23, 0));
    EXPECT_EQ(figures->front().end, at(1, 23, 15));
    EXPECT_EQ(figures->front().limitVenue, 80);
    EXPECT_EQ(figures->front().passesVenue, 7);
    EXPECT_NEAR(figures->front().leqVenue, 82.4f, 0.01f);
    const auto night = reports.nightHours(kUnit);
    ASSERT_TRUE(night);
    EXPECT_EQ(night->start, QTime(23, 0));
    EXPECT_EQ(night->end, QTime(7, 0));
}

TEST_F(ReportStoreTest, AMisspeltColumnIsAnErrorNamingItNeverAShiftedRead)
{
    const auto range =
        rowsStartingIn(QStringLiteral("Intervalos"),
                       {QStringLiteral("SLeqLocal"), QStringLiteral("SLeqVecimo"), QStringLiteral("IE3")}, kUnit,
                       at(1, 0, 0), at(2, 0, 0), db->dialect());
    ASSERT_FALSE(range) << "a misspelt column was dropped from the query";
    EXPECT_TRUE(range.error().detail.contains(QLatin1String("SLeqVecimo"))) << range.error().detail.toStdString();
    EXPECT_TRUE(isReportFailure(range.error(), ReportFailure::Database));

    // Reading rows by name: a name the rows lack is an error naming it.
    interval(at(1, 23, 0), 82.4f, 80);
    QSqlQuery q(db->connection());
    ASSERT_TRUE(q.exec(QStringLiteral("SELECT \"SLeqLocal\", \"IE3\" FROM \"Intervalos\"")) && q.next());
    const auto named = NamedColumns::of(q.record(), {QStringLiteral("SLeqLocal"), QStringLiteral("IPasadas")});
    ASSERT_FALSE(named);
    EXPECT_TRUE(named.error().detail.contains(QLatin1String("IPasadas"))) << named.error().detail.toStdString();
    const auto reader = IntervalReader::of(q.record(), 0);
    ASSERT_FALSE(reader) << "the interval reader needs every one of its columns";
    EXPECT_TRUE(reader.error().detail.contains(QLatin1String("DFechaInicio")));

    const auto good = NamedColumns::of(q.record(), {QStringLiteral("IE3"), QStringLiteral("SLeqLocal")});
    ASSERT_TRUE(good);
    EXPECT_NEAR(good->value(q, QStringLiteral("SLeqLocal")).toFloat(), 82.4f, 0.01f) << "read by name, not order";
    EXPECT_EQ(good->value(q, QStringLiteral("IE3")).toInt(), 0);
}

QDateTime utcAt(int d, int h, int m)
{
    return QDateTime(QDate(2026, 6, d), QTime(h, m), Qt::UTC);
}

// The same unit and night, its intervals written field by field.
class ExceedanceTest : public ReportStoreTest {
protected:
    // A 15-minute interval starting at `start`.
    void interval(const QDateTime& start, int pasLocal, int pasVecino, int pasFast, double leqLocal, int limLocal,
                  double leqVecino, int limVecino, double maxFast, int limFast, int e3 = 0, int desco = 0)
    {
        const QDateTime end = start.addSecs(15 * 60);
        ASSERT_TRUE(test::succeeded(store->insert("Intervalos",
                                                  spanRow(kUnit, start, end,
                                                          {{"ByTLeq", 15},
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
                                                           {"IDesco", desco}}))));
    }
};

} // namespace

// One night worked out by hand: 23:00-07:00 is 480 minutes; A, B, C and D
// cover 60 of them (the half hour after B and the early morning are gaps);
// the intervals at 22:45 and 07:00 lie outside the night.
TEST_F(ExceedanceTest, AHandBuiltNightAddsUpAsWorkedOutByHand)
{
    interval(utcAt(1, 22, 45), 500, 500, 9, 99.0, 80, 60.0, 35, 110.0, 100);  // before the night
    interval(utcAt(1, 23, 0), 30, 0, 1, 82.4, 80, 40.0, 35, 95.1, 100);       // A
    interval(utcAt(1, 23, 15), 10, 5, 0, 121.0, 80, 30.0, 35, 101.0, 100, 1); // B: over the range
    interval(utcAt(2, 0, 0), 0, 0, 0, 0.0, 80, 0.0, 35, 0.0, 100, 3, 2);      // C: sensor inactive
    interval(utcAt(2, 6, 45), 0, 4, 2, 70.0, 255, 36.0, 35, 90.0, 100);       // D: no venue limit
    interval(utcAt(2, 7, 0), 700, 700, 7, 110.0, 80, 70.0, 35, 115.0, 100);   // after the night
    ASSERT_TRUE(store->insert("Sesiones",
                              spanRow(kUnit, QDateTime(QDate(2026, 6, 1), QTime(22, 0)),
                                      QDateTime(QDate(2026, 6, 2), QTime(3, 0)),
                                      {{"LPasadasLocal", 1234},
                                       {"LPasadasVecino", 56},
                                       {"LPasMaxFast", 7},
                                       {"LE3", 2},
                                       {"LDesco", 1},
                                       {"ITiempoAtenuacion", 90}})));

    const auto s = loadExceedanceSummary(*db, kUnit, utcAt(1, 22, 0), utcAt(2, 8, 0));
    ASSERT_TRUE(s) << s.error().detail.toStdString();
    EXPECT_EQ(s->night.start, QTime(23, 0));
    ASSERT_EQ(s->nights.size(), 1u); // the nights before and after lie outside the range
    const NightSummary& n = s->nights[0];
    EXPECT_EQ(n.start, utcAt(1, 23, 0));
    EXPECT_EQ(n.end, utcAt(2, 7, 0));
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
    a.start = utcAt(1, 23, 0);
    a.end = utcAt(1, 23, 30);
    b.start = utcAt(1, 23, 15);
    b.end = utcAt(2, 0, 0);
    struct Case {
        const char* what;
        QDateTime from, to;
        NightHours hours;
        size_t nights;
        int firstGap;
        std::vector<IntervalFigures> intervals = {};
    } cases[] = {
        {"a range starting inside a night keeps its tail", utcAt(2, 2, 0), utcAt(2, 12, 0), night, 1, 300},
        {"a range ending inside a night keeps its head, up to its end", utcAt(1, 12, 0), utcAt(2, 0, 59), night, 1,
         119},
        {"two whole nights", utcAt(1, 12, 0), utcAt(3, 12, 0), night, 2, 480},
        {"a night within one day", utcAt(1, 0, 0), utcAt(1, 23, 59), NightHours{QTime(1, 0), QTime(5, 30)}, 1, 270},
        {"no night programmed", utcAt(1, 0, 0), utcAt(5, 0, 0), NightHours{QTime(0, 0), QTime(0, 0)}, 0, 0},
        {"overlapping intervals", utcAt(1, 23, 0), utcAt(2, 7, 0), night, 1, 420, {a, b}},
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
        {"recorded whole to the range's end", quarters(utcAt(1, 22, 0), 16), utcAt(2, 2, 0), utcAt(2, 2, 0), 16, 0},
        // It runs on to the end of an interval starting at the range's end, not past the next.
        {"an interval starting at the end", quarters(utcAt(1, 22, 0), 18), utcAt(2, 2, 0), utcAt(2, 2, 15), 17, 0},
        {"the night's own end bounds it", quarters(utcAt(2, 7, 45), 1), utcAt(2, 7, 45), utcAt(2, 8, 0), 1,
         9 * 60 + 45},
    };
    for (const auto& c : cases) {
        const auto s = summarizeExceedances(c.intervals, {}, night, utcAt(1, 20, 0), c.to);
        ASSERT_EQ(s.nights.size(), 1u) << c.what;
        EXPECT_EQ(s.nights[0].start, utcAt(1, 22, 0)) << c.what;
        EXPECT_EQ(s.nights[0].end, c.end) << c.what;
        EXPECT_EQ(s.nights[0].intervals, c.count) << c.what;
        EXPECT_EQ(s.nights[0].minutesWithoutRecord, c.gap) << c.what;
    }
}
