#include "cli_run.h"
#include "db/database.h"
#include "db/store.h"
#include "support/file_bytes.h"
#include "support/rows.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>
#include <gtest/gtest.h>

using namespace tvq52;
using test::CliResult;
using test::CliRuns;
using test::cliTime;

namespace {

// Changes the level of the unit's interval starting at `start`: edits made
// behind the program's back.
void editIntervalAt(const CliRuns& cli, const QDateTime& start)
{
    auto db = cli.home.openDatabase();
    ASSERT_TRUE(db);
    QSqlQuery edit(db->connection());
    edit.prepare(QStringLiteral("UPDATE \"Intervalos\" SET \"SLeqLocal\" = \"SLeqLocal\" + 0.5 WHERE "
                                "\"LNumeroSerie\" = 4711 AND \"DFechaInicio\" = ? AND \"THoraInicio\" = ?"));
    edit.addBindValue(db->dialect() == SqlDialect::PostgreSQL ? QVariant(start.date())
                                                              : QVariant(start.date().toString(Qt::ISODate)));
    edit.addBindValue(start.time().toString(QStringLiteral("HH:mm")));
    ASSERT_TRUE(edit.exec());
    ASSERT_EQ(edit.numRowsAffected(), 1);
}

TEST(CliVerifyReport, EachKindHoldsUntilARecordOfItsRangeChangesAndNamesIt)
{
    CliRuns cli;
    cli.storeUnits({{4711, "2.5", ""}});
    cli.startSim({"--serial", "4711", "--firmware", "2.5", "--days", "3"});
    const QDateTime now = QDateTime::currentDateTime();
    const CliResult downloaded = cli.onSim(
        {"--clock-speed", "20", "download", "--from", cliTime(now.addDays(-4)), "--to", cliTime(now.addSecs(3600))});
    ASSERT_EQ(downloaded.exitCode, 0) << qPrintable(downloaded.err + downloaded.out);

    // The middle day: its intervals and sessions are inside, the last day's outside.
    const QDate day = now.date().addDays(-2);
    const QDateTime from(day, QTime(0, 0)), to(day, QTime(23, 59));
    // Outside: the day after, whole at any hour the test runs (today's first
    // interval is not recorded until a quarter past midnight).
    const QDateTime inside(day, QTime(12, 0)), outside(day.addDays(1), QTime(12, 0));
    const QDir dir(cli.home.path());
    for (const char* kind : {"intervals", "exceedances"}) {
        const QString pdf = dir.filePath(QStringLiteral("%1.pdf").arg(QLatin1String(kind)));
        const CliResult written =
            cli({"report", kind, "4711", "--from", cliTime(from), "--to", cliTime(to), "--pdf", pdf});
        ASSERT_EQ(written.exitCode, 0) << kind << qPrintable(written.err);
    }
    const QString programming = dir.filePath(QStringLiteral("programming.pdf"));
    ASSERT_EQ(cli({"report", "programming", "4711", "--pdf", programming}).exitCode, 0);
    const QString fleet = dir.filePath(QStringLiteral("fleet.pdf"));
    ASSERT_EQ(cli({"fleet", "--pdf", fleet}).exitCode, 0);

    for (const QString& pdf : {dir.filePath("intervals.pdf"), dir.filePath("exceedances.pdf"), programming, fleet}) {
        const CliResult held = cli({"verify-report", pdf});
        EXPECT_EQ(held.exitCode, 0) << qPrintable(pdf + held.out + held.err);
        EXPECT_TRUE(held.out.contains(QStringLiteral("still exactly what is stored and journaled")));
    }

    editIntervalAt(cli, outside);
    EXPECT_EQ(cli({"verify-report", dir.filePath("intervals.pdf")}).exitCode, 0) << "outside its range";

    editIntervalAt(cli, inside);
    const CliResult changed = cli({"verify-report", dir.filePath("intervals.pdf"), "--json"});
    EXPECT_EQ(changed.exitCode, 1) << qPrintable(changed.out + changed.err);
    const QJsonObject doc = QJsonDocument::fromJson(changed.out.toUtf8()).object();
    EXPECT_FALSE(doc.value("verified").toBool());
    EXPECT_EQ(doc.value("kind").toString(), QStringLiteral("intervals"));
    EXPECT_EQ(doc.value("serial").toInt(), 4711);
    ASSERT_EQ(doc.value("changed").toArray().size(), 1) << qPrintable(changed.out);
    EXPECT_EQ(doc.value("changed").toArray().first().toObject().value("key").toString(),
              QStringLiteral("4711 %1 12:00").arg(day.toString(Qt::ISODate)));
    const CliResult exceedances = cli({"verify-report", dir.filePath("exceedances.pdf")});
    EXPECT_EQ(exceedances.exitCode, 1);
    EXPECT_TRUE(exceedances.out.contains(QStringLiteral("Changed: Intervalos 4711 %1 12:00").arg(day.toString(Qt::ISODate))))
        << qPrintable(exceedances.out);
    // The programming report shows no interval.
    EXPECT_EQ(cli({"verify-report", programming}).exitCode, 0);
}

TEST(CliVerifyReport, AFileWithoutAProofIsToldAndFails)
{
    CliRuns cli;
    ASSERT_EQ(cli({"init"}).exitCode, 0);
    const QString text = QDir(cli.home.path()).filePath(QStringLiteral("note.pdf"));
    ASSERT_TRUE(test::writeBytes(text, "not a report\n"));
    const CliResult refused = cli({"verify-report", text});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.startsWith(QStringLiteral("tvq52-cli:"))) << qPrintable(refused.err);
    EXPECT_EQ(cli({"verify-report"}).exitCode, 2);
}

} // namespace
