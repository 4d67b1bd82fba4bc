#include "cli_run.h"
#include "support/result_checks.h"
#include "support/rows.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

using namespace tvq52;
using test::CliResult;
using test::CliRuns;
using test::fileLines;
using test::row;

namespace {

// The lines of standard error that tell a download's progress or sum it up.
int progressLines(const QString& err)
{
    static const QRegularExpression progress(QString::fromUtf8(
        "^(recibidos: |(totales|borrados|finales de batería|reprogramaciones|intervalos|sesiones): \\d+ recibidos)"));
    int n = 0;
    for (const QString& line : err.split(QLatin1Char('\n')))
        n += progress.match(line).hasMatch() ? 1 : 0;
    return n;
}

} // namespace

// Ctrl-C goes the window's Stop way: the unit gets CAN, the journal entry is
// sealed as stopped, every acknowledged record is stored, and the status is
// 130. SIGTERM (the service manager, kill) does the same and is named.
TEST(CliInterrupt, CtrlCStopsADownloadAsStopDoes)
{
    const std::pair<int, const char*> stops[] = {
        {SIGINT, "tvq52-cli: Descarga detenida con Ctrl-C"},
        {SIGTERM, "tvq52-cli: Descarga detenida por la señal de terminación (SIGTERM)"}};
    for (const auto& [sent, told] : stops) {
        CliRuns cli;
        cli.storeUnits({{4711, "4.0", ""}});
        const QString acks = cli.home.file(QStringLiteral("acks.txt"));
        const QString timing = cli.home.file(QStringLiteral("timing.txt"));
        cli.startSim({"--serial", "4711", "--days", "20", "--pace", "--ack-log", acks, "--timing-log", timing});

        QProcess download;
        test::startCli(download, {"--home", cli.home.path(), "--device", cli.sim->devicePath(), "download"});
        QElapsedTimer waited;
        waited.start();
        while (fileLines(acks).size() < 25 && waited.elapsed() < 30000)
            QThread::msleep(20);
        ASSERT_GE(fileLines(acks).size(), 25) << "the download did not get going";
        ASSERT_EQ(::kill(pid_t(download.processId()), sent), 0);
        ASSERT_TRUE(download.waitForFinished(15000));
        EXPECT_EQ(download.exitStatus(), QProcess::NormalExit) << "the signal is handled, not fatal";
        EXPECT_EQ(download.exitCode(), 130);
        const QString out = QString::fromUtf8(download.readAllStandardOutput());
        const QString err = QString::fromUtf8(download.readAllStandardError());
        EXPECT_TRUE(out.contains(QStringLiteral("Resultado: Parada\n"))) << qPrintable(out);
        EXPECT_TRUE(err.contains(QString::fromUtf8(told))) << qPrintable(err);
        // Into a pipe the progress is one summary line, not one per update.
        EXPECT_EQ(progressLines(err), 1) << qPrintable(err);

        const QStringList acknowledged = fileLines(acks);
        EXPECT_LT(acknowledged.size(), 20 * 96) << "stopped mid-list";
        auto db = cli.home.openDatabase();
        EXPECT_EQ(test::take(Store(*db).count(QStringLiteral("Intervalos"))), acknowledged.size())
            << "nothing acknowledged is lost";
        bool cancelled = false;
        for (const QString& line : fileLines(timing))
            cancelled = cancelled || line.section(QLatin1Char(' '), 1, 1) == QLatin1String("can");
        EXPECT_TRUE(cancelled) << "the unit was told to stop sending";
        const CliResult journal = cli({"journal"});
        EXPECT_TRUE(journal.out.contains(QStringLiteral(" download unit 4711 by cable: stopped\n")))
            << qPrintable(journal.out);
        EXPECT_EQ(cli({"verify"}).exitCode, 0);
    }
}

TEST(CliInterrupt, ProgressInAPipeIsOneSummaryLineAndQuietIsNone)
{
    CliRuns cli;
    cli.storeUnits({{4711, "4.0", ""}});
    cli.startSim({"--serial", "4711", "--days", "3"});
    const CliResult chatty = cli.onSim({"--clock-speed", "20", "download"});
    ASSERT_EQ(chatty.exitCode, 0) << qPrintable(chatty.err);
    EXPECT_EQ(progressLines(chatty.err), 1) << qPrintable(chatty.err);
    // The summary counts every kind the download received.
    EXPECT_TRUE(chatty.err.contains(QRegularExpression(
        QString::fromUtf8("\nrecibidos: 1 totales, \\d+ borrados, \\d+ finales de batería, \\d+ reprogramaciones, "
                          "288 intervalos, \\d+ sesiones"))))
        << qPrintable(chatty.err);
    EXPECT_FALSE(chatty.err.contains(QLatin1Char('\r')));
    const CliResult quiet = cli.onSim({"--clock-speed", "20", "download", "--quiet"});
    ASSERT_EQ(quiet.exitCode, 0) << qPrintable(quiet.err);
    EXPECT_EQ(progressLines(quiet.err), 0) << qPrintable(quiet.err);
    EXPECT_TRUE(quiet.out.contains(QStringLiteral("Resultado: Completada\n"))) << "--quiet keeps the report";
}

// On a terminal the progress is one line written over and over.
TEST(CliInterrupt, ProgressOnATerminalIsOneLineWrittenOver)
{
    CliRuns cli;
    cli.storeUnits({{4711, "4.0", ""}});
    cli.startSim({"--serial", "4711", "--days", "2", "--pace"});
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const int terminal = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    ::fcntl(master, F_SETFL, O_NONBLOCK);

    QProcess download;
    download.setChildProcessModifier([terminal] { ::dup2(terminal, STDERR_FILENO); });
    test::startCli(download, {"--home", cli.home.path(), "--device", cli.sim->devicePath(), "download"});
    QByteArray shown;
    const auto drain = [&] {
        char buffer[4096];
        for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;)
            shown.append(buffer, n);
    };
    while (!download.waitForFinished(50))
        drain();
    drain();
    ::close(terminal);
    ::close(master);
    EXPECT_EQ(download.exitCode(), 0) << shown.constData();
    const QString text = QString::fromUtf8(shown);
    EXPECT_GE(text.count(QStringLiteral("\rintervalos: ")), 2) << "written over as it goes";
    EXPECT_TRUE(text.contains(QStringLiteral("\x1b[K")));
    // Every update is on the one line the run ends.
    int linesWithProgress = 0;
    for (const QString& line : text.split(QLatin1Char('\n')))
        linesWithProgress += line.contains(QStringLiteral(" recibidos")) ? 1 : 0;
    EXPECT_EQ(linesWithProgress, 1) << qPrintable(text);
}

// Ctrl-C stops an import or a merge the way the window's Stop does: what was
// committed stays and verifies, the journal says so, the status is 130.
TEST(CliInterrupt, CtrlCStopsAnImportOrAMergeAsStopDoes)
{
    CliRuns source;
    source.storeUnits({{4711, "4.0", ""}});
    {
        auto db = source.home.openDatabase();
        QSqlQuery q(db->connection());
        ASSERT_TRUE(q.exec(QStringLiteral(
            "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 299999) "
            "INSERT INTO \"Intervalos\" (\"LNumeroSerie\", \"DFechaInicio\", \"THoraInicio\", \"SLeqLocal\") "
            "SELECT 4711, date('2020-01-01', '+' || (i / 96) || ' days'), "
            "printf('%02d:%02d', (i % 96) / 4, (i % 4) * 15), 80.5 FROM n")))
            << qPrintable(q.lastError().text());
    }
    const QString exchange = source.home.file(QStringLiteral("all.TQ52"));
    ASSERT_EQ(source({"export", exchange, "4711"}).exitCode, 0);
    const std::tuple<QStringList, const char*, const char*> runs[] = {
        {{"merge", source.home.file(QStringLiteral("tvq52.db"))}, "Fusión parada en la tabla", " merge: stopped\n"},
        {{"import", exchange, "--accept-unsigned"}, "Importación cancelada", " import: cancelled\n"}};
    for (const auto& [args, told, sealed] : runs) {
        CliRuns cli;
        ASSERT_EQ(cli({"init"}).exitCode, 0);
        QProcess run;
        test::startCli(run, QStringList{"--home", cli.home.path()} + args);
        // Once the entry is open the rows are on their way.
        sqlite3* watch = nullptr;
        ASSERT_EQ(sqlite3_open_v2(qPrintable(cli.home.file(QStringLiteral("tvq52.db"))), &watch,
                                  SQLITE_OPEN_READONLY, nullptr),
                  SQLITE_OK);
        sqlite3_busy_timeout(watch, 1000);
        QElapsedTimer waited;
        waited.start();
        for (int entries = 0; entries == 0 && waited.elapsed() < 30000; QThread::msleep(10)) {
            sqlite3_stmt* count = nullptr;
            if (sqlite3_prepare_v2(watch, "SELECT count(*) FROM \"Diario\"", -1, &count, nullptr) == SQLITE_OK
                && sqlite3_step(count) == SQLITE_ROW)
                entries = sqlite3_column_int(count, 0);
            sqlite3_finalize(count);
        }
        sqlite3_close(watch);
        ASSERT_EQ(::kill(pid_t(run.processId()), SIGINT), 0);
        ASSERT_TRUE(run.waitForFinished(30000));
        EXPECT_EQ(run.exitStatus(), QProcess::NormalExit) << "the signal is handled, not fatal";
        EXPECT_EQ(run.exitCode(), 130);
        EXPECT_TRUE(QString::fromUtf8(run.readAllStandardError()).contains(QString::fromUtf8(told)));
        const CliResult journal = cli({"journal"});
        EXPECT_TRUE(journal.out.contains(QString::fromUtf8(sealed))) << qPrintable(journal.out);
        auto db = cli.home.openDatabase();
        EXPECT_LT(test::take(Store(*db).count(QStringLiteral("Intervalos"))), 300000) << "stopped mid-table";
        EXPECT_EQ(cli({"verify"}).exitCode, 0);
    }
}
