// The report store's reads by range and by column name, on either backend
// (the suite's pg. run puts them on a server).
#include "records/record_store.h"
#include "reports/exceedance_summary.h"
#include "reports/report.h"
#include "reports/report_store.h"
#include "support/folder_database.h"
#include "support/rows.h"

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

} // namespace
