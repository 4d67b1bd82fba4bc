#include "app/data_folder.h"
#include "cli_run.h"
#include "db/database.h"
#include "db/store.h"
#include "support/result_checks.h"
#include "support/rows.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSet>
#include <QSqlQuery>
#include <QThread>
#include <gtest/gtest.h>

using namespace tvq52;
using test::CliResult;
using test::CliRuns;
using test::cliTime;
using test::row;

namespace {

std::unique_ptr<Database> openFolderDatabase(const CliRuns& cli)
{
    auto db = test::take(Database::openSqlite(databasePath(cli.home.path())));
    EXPECT_TRUE(db);
    return db;
}

qint64 count(const CliRuns& cli, const char* table)
{
    auto db = openFolderDatabase(cli);
    return test::take(Store(*db).count(QString::fromLatin1(table)));
}

// A run whose output goes to a reader already gone: its status, and what it
// said on standard error, which is still read.
CliResult intoAReaderGone(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("bash"),
            QStringList{"-c", "set -o pipefail; \"$0\" \"$@\" </dev/null | true", TVQ52_BIN_DIR "/tvq52-cli"} + args);
    CliResult r;
    r.exitCode = p.waitForFinished(60000) ? p.exitCode() : -1;
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

} // namespace

TEST(CliDownload, DownloadsVerifiesNamesAHandEditAndMendsItOnTheSameRange)
{
    CliRuns cli;
    cli.storeUnits({{4711, "2.5", ""}});
    cli.startSim({"--serial", "4711", "--firmware", "2.5", "--days", "2"});
    const QStringList range{"--from", cliTime(QDateTime::currentDateTime().addDays(-3)), "--to",
                            cliTime(QDateTime::currentDateTime().addSecs(3600))};
    const auto download = [&] { return cli.onSim(QStringList{"--clock-speed", "20", "download"} + range); };

    const CliResult first = download();
    ASSERT_EQ(first.exitCode, 0) << qPrintable(first.err + first.out);
    EXPECT_TRUE(first.out.contains(QStringLiteral("Resultado: Completada")));
    EXPECT_TRUE(first.out.contains(QRegularExpression(QStringLiteral("\nintervalos +192 +192 +0 +0\n"))))
        << qPrintable(first.out);
    EXPECT_EQ(count(cli, "Intervalos"), 2 * 24 * 4);
    const qint64 sessions = count(cli, "Sesiones");
    EXPECT_GT(sessions, 0);

    CliResult verify = cli({"verify"});
    EXPECT_EQ(verify.exitCode, 0) << qPrintable(verify.out);
    EXPECT_TRUE(verify.out.contains(QStringLiteral("Registros comprobados: ")));

    {
        auto db = openFolderDatabase(cli);
        QSqlQuery edit(db->connection());
        ASSERT_TRUE(
            edit.exec(QStringLiteral("UPDATE Intervalos SET SLeqLocal = SLeqLocal + 3 WHERE rowid = "
                                     "(SELECT max(rowid) FROM Intervalos)")));
        ASSERT_EQ(edit.numRowsAffected(), 1);
    }
    verify = cli({"verify", "4711"});
    EXPECT_EQ(verify.exitCode, 1);
    EXPECT_TRUE(verify.out.contains(QStringLiteral("record edited"))) << qPrintable(verify.out);
    EXPECT_TRUE(verify.out.contains(QStringLiteral("Intervalos 4711 ")));

    const CliResult second = download();
    ASSERT_EQ(second.exitCode, 0) << qPrintable(second.err);
    EXPECT_TRUE(second.out.contains(QRegularExpression(QStringLiteral("\nintervalos +192 +0 +192 +0\n"))));
    EXPECT_EQ(count(cli, "Intervalos"), 2 * 24 * 4);
    EXPECT_EQ(count(cli, "Sesiones"), sessions);
    verify = cli({"verify"});
    EXPECT_EQ(verify.exitCode, 0) << qPrintable(verify.out);

    const CliResult journal = cli({"journal", "--serial", "4711"});
    EXPECT_EQ(journal.exitCode, 0);
    const int newest = journal.out.indexOf(QStringLiteral("#2 "));
    EXPECT_GE(newest, 0);
    EXPECT_LT(newest, journal.out.indexOf(QStringLiteral("#1 ")));
    EXPECT_TRUE(journal.out.contains(QStringLiteral("download unit 4711 by cable: completed")));
}

// Lost output ends neither a download nor an import before its entry is
// sealed; the run still says, by its status, that its output was lost.
TEST(CliDownload, OutputThatIsGoneNeitherEndsADownloadNorAnImportUnsealed)
{
    CliRuns cli, other;
    cli.storeUnits({{4711, "4.0", ""}});
    cli.startSim({"--serial", "4711", "--days", "2"});
    const QString file = cli.home.file(QStringLiteral("4711.TQ52"));
    const QStringList runs[] = {
        {"--home", cli.home.path(), "--device", cli.sim->devicePath(), "--clock-speed", "20", "download"},
        {"--home", cli.home.path(), "export", file, "4711"},
        {"--home", other.home.path(), "import", file}};
    for (const QStringList& run : runs) {
        const CliResult r = intoAReaderGone(run);
        EXPECT_EQ(r.exitCode, 1) << qPrintable(run.join(' '));
        // Not a silent status: it says why on standard error.
        EXPECT_TRUE(r.err.contains(QStringLiteral("tvq52-cli: No se pudo escribir la salida: ")))
            << qPrintable(r.err);
    }
    for (const CliRuns* run : {&cli, &other}) {
        EXPECT_EQ(count(*run, "Intervalos"), 2 * 24 * 4);
        const CliResult verify = (*run)({"verify"});
        EXPECT_EQ(verify.exitCode, 0) << qPrintable(verify.out);
        EXPECT_FALSE((*run)({"journal"}).out.contains(QStringLiteral(": open\n"))) << "every entry sealed";
    }
}

TEST(CliDownload, KilledMidListLeavesAnIntactDatabaseWithEveryAcknowledgedRecord)
{
    CliRuns cli;
    cli.storeUnits({{4711, "4.0", ""}});
    const QString ackLog = cli.home.file(QStringLiteral("acks.txt"));
    cli.startSim({"--serial", "4711", "--days", "2", "--pace", "--ack-log", ackLog, "--fault", "level-1401:6"});

    QProcess download;
    test::startCli(download, {"--home", cli.home.path(), "--device", cli.sim->devicePath(), "download"});
    QElapsedTimer waited;
    waited.start();
    auto acknowledged = [&] { return test::fileLines(ackLog); };
    while (acknowledged().size() < 25 && waited.elapsed() < 30000)
        QThread::msleep(20);
    download.kill();
    ASSERT_TRUE(download.waitForFinished(5000));
    const QStringList acks = acknowledged();
    ASSERT_GE(acks.size(), 25) << "the download did not get going";
    ASSERT_LT(acks.size(), 2 * 24 * 4) << "killed mid-list";

    auto db = openFolderDatabase(cli);
    QSqlQuery check(db->connection());
    ASSERT_TRUE(check.exec(QStringLiteral("PRAGMA integrity_check")) && check.next());
    EXPECT_EQ(check.value(0).toString(), "ok");
    QSet<QString> ends;
    for (const Row& r : test::take(Store(*db).select(QStringLiteral("Intervalos"))))
        ends << r.value(QStringLiteral("DFechaFinal")).toDate().toString(Qt::ISODate) + QLatin1Char(' ')
                + r.value(QStringLiteral("THoraFinal")).toString();
    int faulty = 0;
    for (const QString& line : acks) {
        if (line.endsWith(QLatin1String(" faulty"))) {
            ++faulty;
            EXPECT_FALSE(ends.contains(line.mid(9, 16))) << "a refused record is not stored";
            continue;
        }
        ASSERT_TRUE(line.startsWith(QLatin1String("interval "))) << qPrintable(line);
        EXPECT_TRUE(ends.contains(line.mid(9))) << qPrintable(line);
    }
    EXPECT_EQ(faulty, 1);
}

TEST(CliCollect, DownloadsEachListedUnitByModemAndReportsTheOneThatDidNotAnswer)
{
    CliRuns cli;
    cli.storeUnits({{1001, "4.0", "111"}, {1002, "4.0", "222"}, {1003, "4.0", "333"}, {1004, "4.0", ""}});
    // 222 reaches unit 1003 instead of 1002.
    cli.startSim({"--serial", "1001", "--days", "1", "--modem", "--rings", "1", "--ring-ms", "50", "--guard-ms", "10",
                  "--dial-unit", "222=1003", "--dial-unit", "333=1003"});
    cli.home.writeFile(QStringLiteral("units.txt"), "# the evening round\n1001\n\n1002\n12x4\n1003\n1004\n");
    const CliResult r = cli.onSim({"--clock-speed", "50", "collect", cli.home.file(QStringLiteral("units.txt"))});
    EXPECT_EQ(r.exitCode, 1) << qPrintable(r.err);
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 7) << qPrintable(r.out);
    const QList<QRegularExpression> expected{
        QRegularExpression(QStringLiteral("^serial +answered +outcome")),
        QRegularExpression(QStringLiteral("^1001 +1001 +completed +96 +\\d+ +0 +verified /\\S+$")),
        QRegularExpression(QStringLiteral("^1002 +1003 +another unit answered +0 +0 +0 +- +/\\S+$")),
        QRegularExpression(QStringLiteral("^12x4 +- +not a serial number +0 +0 +0 +- +/\\S+$")),
        QRegularExpression(QStringLiteral("^1003 +1003 +completed +\\d+ ")),
        QRegularExpression(QStringLiteral("^1004 +- +no telephone number ")),
        QRegularExpression(QStringLiteral("^2 of 5 units collected$")),
    };
    for (int k = 0; k < expected.size(); ++k)
        EXPECT_TRUE(expected[k].match(lines[k]).hasMatch()) << qPrintable(lines[k]);
    EXPECT_TRUE(r.err.contains(QStringLiteral("units.txt:5: no es un número de serie: 12x4"))) << qPrintable(r.err);
    EXPECT_EQ(r.err.count(QStringLiteral("[yes]")), 0) << "collect answers its own questions";
    // What went wrong with 1002 is said, and success only for the two collected.
    EXPECT_TRUE(
        r.err.contains(QStringLiteral("Ha contestado el TVQ-52 número 1003 en lugar del 1002: no se descarga.")))
        << qPrintable(r.err);
    EXPECT_EQ(r.err.count(QStringLiteral("Transmisión realizada correctamente")), 2) << qPrintable(r.err);
    auto db = openFolderDatabase(cli);
    Store store(*db);
    EXPECT_EQ(test::take(store.count(QStringLiteral("Intervalos"), row({{"LNumeroSerie", 1001}}))), 96);
    EXPECT_EQ(test::take(store.count(QStringLiteral("Intervalos"), row({{"LNumeroSerie", 1002}}))), 0);
    EXPECT_EQ(test::take(store.count(QStringLiteral("Intervalos"), row({{"LNumeroSerie", 1003}}))), 96);
}

// A unit the database does not hold is not downloaded: the command reports
// the outcome in the journal's word for it.
TEST(CliDownload, AUnitNotStoredEndsFailedAsItsJournalEntrySays)
{
    CliRuns cli;
    cli.storeUnits({});
    cli.startSim({"--serial", "4711", "--firmware", "2.5", "--days", "1"});
    const CliResult r = cli.onSim({"--clock-speed", "20", "download"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.contains(QStringLiteral("Resultado: Fallida\n"))) << qPrintable(r.out);
    const CliResult journal = cli({"journal"});
    EXPECT_TRUE(journal.out.contains(QStringLiteral(" download unit 4711 by cable: failed\n")))
        << qPrintable(journal.out);
    EXPECT_EQ(count(cli, "Intervalos"), 0);
}

TEST(CliDownload, UsageErrors)
{
    CliRuns cli;
    for (const QStringList& args :
         {QStringList{"download", "--from", "32/01/10 10:00"}, QStringList{"download", "--from", "01/01/10"},
          QStringList{"download", "--to", "01/01/10 10:00", "--from", "01/01/10 10:00"},
          QStringList{"download", "--since", "01/01/10 10:00"}, QStringList{"verify", "x"}}) {
        const CliResult r = cli(args);
        EXPECT_EQ(r.exitCode, 2) << qPrintable(args.join(' ') + ": " + r.err);
    }
}

TEST(CliDownload, AYearTheRequestCannotCarryIsRefusedNotWrapped)
{
    CliRuns cli;
    CliResult r = cli({"download", "--from", "01/12/2009 00:00", "--to", "31/12/2099 23:59"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains(
        QStringLiteral("La fecha 31/12/2099 23:59 no se puede pedir al TVQ-52: solo admite años de 1950 a 2049.")))
        << qPrintable(r.err);
    r = cli({"download", "--from", "31/12/1949 23:59"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("La fecha 31/12/1949 23:59 no se puede pedir"))) << qPrintable(r.err);
    // The first and last years it can carry are taken (there is no unit to ask here).
    r = cli({"--device", cli.home.file(QStringLiteral("no-port")), "download", "--from", "01/01/1950 00:00", "--to",
             "31/12/2049 23:59"});
    EXPECT_EQ(r.exitCode, 1) << qPrintable(r.err);
    EXPECT_FALSE(r.err.contains(QStringLiteral("no se puede pedir"))) << qPrintable(r.err);
}
