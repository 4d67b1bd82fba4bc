#include "db/database.h"
#include "db/store.h"
#include "evidence/journaled_merge.h"
#include "exchange/exchange_import.h"
#include "exchange/exchange_writer.h"
#include "support/folder_database.h"
#include "support/result_checks.h"
#include "support/rows.h"
#include "support/temp_home.h"

#include <QSqlError>
#include <QSqlQuery>
#include <gtest/gtest.h>

using namespace tvq52;
using namespace tvq52::test;

namespace {

const QDate kDay(2026, 2, 10);

// A database file of another PC: unit 500 (night 22:00 to 06:00) with an
// interval past the limit at 23:30, one at 03:00 the next day (the same
// night) and one at noon; unit 600 with none past it.
QString otherPcFile(const TempHome& home)
{
    const QString path = home.file(QStringLiteral("other.db"));
    EXPECT_TRUE(succeeded(Database::createSqlite(path)));
    auto db = take(Database::openSqlite(path));
    Store store(*db);
    for (qint32 serial : {500, 600})
        EXPECT_TRUE(store.insert("Programacion", row({{"LNumeroSerie", serial},
                                                      {"THoraEmpiezaNoche", QStringLiteral("22:00")},
                                                      {"THoraTerminaNoche", QStringLiteral("06:00")}})));
    const auto interval = [&](qint32 serial, const QDate& day, const char* time, int venue, int neighbour) {
        EXPECT_TRUE(store.insert("Intervalos", row({{"LNumeroSerie", serial},
                                                    {"DFechaInicio", day},
                                                    {"THoraInicio", QString::fromLatin1(time)},
                                                    {"IPasadasLocal", venue},
                                                    {"IPasadasVecino", neighbour}})));
    };
    interval(500, kDay, "23:30", 2, 0);
    interval(500, kDay.addDays(1), "03:00", 0, 1);
    interval(500, kDay.addDays(1), "12:00", 4, 0);
    interval(600, kDay, "23:30", 0, 0);
    return path;
}

class FleetBulkTest : public FolderDatabaseTest {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(FolderDatabaseTest::SetUp()); }
    QStringList nights()
    {
        QSqlQuery q(db->connection());
        EXPECT_TRUE(q.exec(QStringLiteral("SELECT \"LNumeroSerie\", \"DNoche\", \"BoLocal\", \"BoVecino\" FROM "
                                          "\"NochesExcedidas\" ORDER BY 1, 2")))
            << q.lastError().text().toStdString();
        QStringList marks;
        while (q.next())
            marks << QStringLiteral("%1 %2 %3%4")
                         .arg(q.value(0).toInt())
                         .arg(q.value(1).toDate().toString(Qt::ISODate))
                         .arg(int(q.value(2).toBool()))
                         .arg(int(q.value(3).toBool()));
        return marks;
    }
};

} // namespace

TEST_F(FleetBulkTest, AMergeMarksTheNightsOfTheIntervalsItAdds)
{
    const QString other = otherPcFile(home);
    const MergeResult merged = mergeDatabase(*db, other);
    ASSERT_EQ(merged.fault, MergeResult::Fault::None);
    EXPECT_EQ(nights(), QStringList{QStringLiteral("500 2026-02-10 11")});
    // Merged again, nothing is added and nothing changes.
    ASSERT_EQ(mergeDatabase(*db, other).fault, MergeResult::Fault::None);
    EXPECT_EQ(nights(), QStringList{QStringLiteral("500 2026-02-10 11")});
}

TEST_F(FleetBulkTest, AnImportMarksTheNightsOfTheIntervalsItAdds)
{
    const QString other = otherPcFile(home);
    const QString exchange = home.file(QStringLiteral("units.txt"));
    {
        auto source = take(Database::openSqlite(other));
        ASSERT_TRUE(source);
        ASSERT_TRUE(writeExchangeFile(*source, exchange, {500, 600}).ok());
    }
    ExchangeImporter importer(*db);
    const ImportSummary summary = importer.run(exchange);
    ASSERT_FALSE(summary.failure.failed()) << summary.failure.detail.toStdString();
    ASSERT_TRUE(summary.error.isEmpty()) << summary.error.toStdString();
    EXPECT_EQ(nights(), QStringList{QStringLiteral("500 2026-02-10 11")});
}
