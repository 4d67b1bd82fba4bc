#include "app/data_folder.h"
#include "app/ini_file.h"
#include "cli_run.h"
#include "db/database.h"
#include "db/store.h"
#include "evidence/journal.h"
#include "support/fake_collect_worker.h"
#include "support/file_bytes.h"
#include "support/result_checks.h"
#include "support/rows.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QRegularExpression>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace tvq52;
using test::CliResult;
using test::CliRuns;
using test::fileLines;
using test::row;

namespace {

struct FakeLines {
    CliRuns cli;
    QString worker;

    FakeLines()
    {
        EXPECT_EQ(cli({"init"}).exitCode, 0);
        worker = test::writeFakeCollectWorker(cli.home.path());
    }
    CliResult collect(const QByteArray& list, const QStringList& more = {}) const
    {
        cli.home.writeFile(QStringLiteral("units.txt"), list);
        return cli(QStringList{"--device", "A", "--device", "B", "collect", cli.home.file(QStringLiteral("units.txt")),
                               "--line-program", worker}
                   + more);
    }
    QStringList calls() const { return fileLines(cli.home.file(QStringLiteral("calls.log"))); }
};

QJsonArray summaryUnits(const CliResult& r)
{
    return QJsonDocument::fromJson(r.out.toUtf8()).object().value(QStringLiteral("units")).toArray();
}

} // namespace

TEST(CollectLines, AFreeLineTakesTheNextUnitWhileAnotherIsStillOnItsCall)
{
    FakeLines lines;
    const CliResult r = lines.collect("# the round\n9001\n11\n\n12\n13\n", {"--json"});
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    // Line A is on the slow call the whole time; B takes each next unit as it is free.
    EXPECT_EQ(lines.calls(), (QStringList{"B 11", "B 12", "B 13", "A 9001"}));
    const QJsonArray units = summaryUnits(r);
    ASSERT_EQ(units.size(), 4) << qPrintable(r.out);
    const QList<std::pair<QString, QString>> expected{{"9001", "A"}, {"11", "B"}, {"12", "B"}, {"13", "B"}};
    for (int k = 0; k < 4; ++k) {
        const QJsonObject u = units.at(k).toObject();
        EXPECT_EQ(u.value("requested").toString(), expected[k].first) << "in the list's order";
        EXPECT_EQ(u.value("line").toString(), expected[k].second);
        EXPECT_TRUE(u.value("collected").toBool());
    }
    // The file line each unit stood on went with it.
    EXPECT_EQ(units.at(2).toObject().value("intervals").toInt(), 5);
    // The workers' messages come through whole, one a line.
    EXPECT_TRUE(r.err.contains(QStringLiteral("Unidad 12: on B\n"))) << qPrintable(r.err);
}

TEST(CollectLines, ALineWhoseWorkerDiesFailsItsUnitOnceAndTheOthersGoOn)
{
    FakeLines lines;
    const CliResult r = lines.collect("9666\n21\n22\n");
    EXPECT_EQ(r.exitCode, 1) << qPrintable(r.err);
    EXPECT_EQ(lines.calls(), (QStringList{"B 21", "B 22"})) << "the dead line's unit is not called again";
    EXPECT_TRUE(r.err.contains(QStringLiteral("worker on A gives up"))) << qPrintable(r.err);
    EXPECT_TRUE(r.err.contains(QStringLiteral("La línea A se ha detenido (3): la unidad 9666 no se ha recogido")))
        << qPrintable(r.err);
    const QStringList out = r.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(out.size(), 5) << qPrintable(r.out);
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^serial +answered +outcome +intervals +sessions +refused +journal +line$"))
            .match(out[0])
            .hasMatch())
        << qPrintable(out[0]);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^9666 +- +line failed +0 +0 +0 +- +A$")).match(out[1]).hasMatch())
        << qPrintable(out[1]);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^21 +21 +completed .* B$")).match(out[2]).hasMatch())
        << qPrintable(out[2]);
    EXPECT_EQ(out[4], QStringLiteral("2 of 3 units collected"));

    // A worker that answers and then ends is given nothing more: its line's
    // next unit goes to a line that is still there.
    FakeLines ending;
    const CliResult rest = ending.collect("9555\n61\n62\n63\n");
    EXPECT_EQ(rest.exitCode, 0) << qPrintable(rest.err + rest.out);
    EXPECT_EQ(ending.calls(), (QStringList{"A 9555", "B 61", "B 62", "B 63"}));
    EXPECT_TRUE(rest.out.contains(QStringLiteral("4 of 4 units collected"))) << qPrintable(rest.out);

    // With every line gone, the units left are failures nobody called.
    FakeLines dead;
    const CliResult none = dead.collect("9666\n9667\n31\n", {"--json"});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_TRUE(dead.calls().isEmpty());
    const QJsonArray units = summaryUnits(none);
    ASSERT_EQ(units.size(), 3) << qPrintable(none.out);
    EXPECT_EQ(units.at(2).toObject().value("outcome").toString(), QStringLiteral("not called"));
    EXPECT_TRUE(units.at(2).toObject().value("line").isNull());
    EXPECT_EQ(QJsonDocument::fromJson(none.out.toUtf8()).object().value("collected").toInt(), 0);
}

// A list that is not one (a binary file, a pasted page) never reaches a
// line: each such line is told, shown without its control characters, and
// the serial numbers among them are still called.
TEST(CollectLines, LinesThatAreNoSerialNumberAreToldAndNeverDealt)
{
    FakeLines lines;
    QByteArray list("\x7f" "ELF\x02\x01\x01\x00\x00\tx\n41\n", 15);
    list += QByteArray(5000, '7') + "\n42\n";
    const CliResult r = lines.collect(list, {"--json"});
    EXPECT_EQ(r.exitCode, 1) << qPrintable(r.err);
    QStringList called;
    for (const QString& call : lines.calls())
        called << call.section(QLatin1Char(' '), 1);
    called.sort();
    EXPECT_EQ(called, (QStringList{"41", "42"})) << "only the serial numbers reach a line";
    const QJsonArray units = summaryUnits(r);
    ASSERT_EQ(units.size(), 4) << qPrintable(r.out);
    const QStringList outcomes{"not a serial number", "completed", "not a serial number", "completed"};
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(units.at(k).toObject().value("outcome").toString(), outcomes[k]) << k;
    EXPECT_LE(units.at(2).toObject().value("requested").toString().size(), 24);
    for (const QChar c : r.err)
        EXPECT_TRUE(c.isPrint() || c == QLatin1Char('\n')) << "control character " << int(c.unicode());
    EXPECT_TRUE(r.err.contains(QStringLiteral(":1: no es un número de serie: \uFFFDELF"))) << qPrintable(r.err);
}

TEST(CollectLines, AScheduledRunTakesItsListAndLinesFromTheDataFolderAndRefusesToRunTwice)
{
    FakeLines lines;
    const QString ini = settingsPath(lines.cli.home.path());
    IniFile settings = IniFile::load(ini);
    settings.setValue(QStringLiteral("Configuration"), QStringLiteral("CollectDevices"), QStringLiteral("A, B"));
    ASSERT_TRUE(settings.save(ini));
    lines.cli.home.writeFile(QStringLiteral("collect.list"), "9001\n51\n");
    const CliResult r = lines.cli({"collect", "--scheduled", "--line-program", lines.worker});
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_EQ(lines.calls(), (QStringList{"B 51", "A 9001"}));

    QLockFile running(QDir(lines.cli.home.path()).filePath(QStringLiteral("collect.lock")));
    ASSERT_TRUE(running.tryLock(0));
    const CliResult second = lines.cli({"collect", "--scheduled", "--line-program", lines.worker});
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_TRUE(second.err.contains(
        QStringLiteral("La recogida anterior sigue en curso (proceso %1)").arg(QCoreApplication::applicationPid())))
        << qPrintable(second.err);
    EXPECT_EQ(lines.calls().size(), 2) << "nobody called";
    EXPECT_TRUE(second.out.isEmpty());
    running.unlock();
    // Once the other run is over, the next one goes ahead.
    EXPECT_EQ(lines.cli({"collect", "--scheduled", "--line-program", lines.worker}).exitCode, 0);
    EXPECT_EQ(lines.calls().size(), 4);
}

namespace {

// Units of a simulated office behind two modems (each one's telephone
// number is its serial number), listed in units.txt, and the arguments of a
// round that calls them into the data folder's database (or the server's).
void startOffice(CliRuns& cli, const QList<int>& serials, const QByteArray& history, const QStringList& simArgs,
                 QStringList* round)
{
    ASSERT_EQ(cli({"init"}).exitCode, 0);
    auto db = cli.home.openDatabase();
    QByteArray office, list;
    for (int serial : serials) {
        const auto unit = row(
            {{"LNumeroSerie", serial}, {"TVersion", "4.0"}, {"TTelefono", QString::number(serial)}, {"ByTLeq", 15}});
        ASSERT_TRUE(Store(*db).insert(QStringLiteral("Programacion"), unit));
        office += QByteArray::number(serial) + ' ' + QByteArray::number(serial) + ' ' + history + '\n';
        list += QByteArray::number(serial) + '\n';
    }
    cli.home.writeFile(QStringLiteral("office.txt"), office);
    cli.home.writeFile(QStringLiteral("units.txt"), list);
    cli.sim = std::make_unique<sim::SimProcess>(QStringLiteral(TVQ52_BIN_DIR "/tvq52-sim"),
                                                QStringList{"--modem", "--lines", "2", "--rings", "1", "--ring-ms",
                                                            "50", "--guard-ms", "10", "--office",
                                                            cli.home.file(QStringLiteral("office.txt"))}
                                                    + simArgs);
    ASSERT_TRUE(cli.sim->start(10000, 2)) << qPrintable(cli.sim->error());
    ASSERT_EQ(cli.sim->devicePaths().size(), 2);
    *round = {"--home",        cli.home.path(),
              "--clock-speed", "50",
              "--device",      cli.sim->devicePaths().at(0),
              "--device",      cli.sim->devicePaths().at(1),
              "collect",       cli.home.file(QStringLiteral("units.txt"))};
}

} // namespace

// Three units of a simulated office behind two modems.
TEST(CollectLines, ThreeUnitsOverTwoSimulatedLinesAreEachDownloadedOnceJournaledAndReported)
{
    CliRuns cli;
    QStringList round;
    ASSERT_NO_FATAL_FAILURE(startOffice(cli, {1001, 1002, 1003}, "days=1", {}, &round));
    const QString a = cli.sim->devicePaths().at(0), b = cli.sim->devicePaths().at(1);
    const QString reports = cli.home.file(QStringLiteral("reports"));
    const CliResult r = test::runCli(round + QStringList{"--reports", reports}, 120000);
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err + r.out);
    const QStringList out = r.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(out.size(), 5) << qPrintable(r.out);
    QSet<QString> used;
    for (int k = 1; k <= 3; ++k) {
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("^100%1 +100%1 +completed +96 +\\d+ +0 +verified (\\S+)$").arg(k))
                .match(out[k]);
        ASSERT_TRUE(m.hasMatch()) << qPrintable(out[k]);
        used << m.captured(1);
        EXPECT_TRUE(r.err.contains(QStringLiteral("Unidad 100%1: marcando 100%1 en %2").arg(k).arg(m.captured(1))))
            << qPrintable(r.err);
    }
    EXPECT_EQ(used, (QSet<QString>{a, b})) << "both lines called units";
    EXPECT_EQ(out[4], QStringLiteral("3 of 3 units collected"));

    auto db = cli.home.openDatabase();
    ASSERT_TRUE(db);
    Store store(*db);
    for (int serial : {1001, 1002, 1003})
        EXPECT_EQ(test::take(store.count(QStringLiteral("Intervalos"), row({{"LNumeroSerie", serial}}))), 96) << serial;
    const QList<JournalEntry> entries = Journal(*db).entries().value();
    ASSERT_EQ(entries.size(), 3);
    QSet<qint32> journaled;
    for (const JournalEntry& e : entries)
        journaled << e.serial;
    EXPECT_EQ(journaled, (QSet<qint32>{1001, 1002, 1003}));
    const CliResult verify = cli({"verify"});
    EXPECT_EQ(verify.exitCode, 0) << qPrintable(verify.out + verify.err);

    // One exceedance summary per unit, and the overview of all three.
    const QStringList pdfs = QDir(reports).entryList({QStringLiteral("exceedances-*.pdf")}, QDir::Files, QDir::Name);
    ASSERT_EQ(pdfs.size(), 3) << qPrintable(pdfs.join(' '));
    for (int k = 0; k < 3; ++k) {
        EXPECT_TRUE(pdfs[k].startsWith(QStringLiteral("exceedances-100%1-").arg(k + 1))) << qPrintable(pdfs[k]);
        EXPECT_TRUE(tvq52::test::readBytes(QDir(reports).filePath(pdfs[k])).startsWith("%PDF-"));
    }
    const QStringList csvLines =
        QString::fromUtf8(tvq52::test::readBytes(QDir(reports).filePath(QStringLiteral("fleet.csv"))))
            .split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(csvLines.size(), 4) << "a header and the three units";
    QSet<QString> listed;
    for (int k = 1; k < 4; ++k)
        listed << csvLines[k].section(QLatin1Char(','), 0, 0);
    EXPECT_EQ(listed, (QSet<QString>{"1001", "1002", "1003"}));
    const QByteArray fleetPdf = tvq52::test::readBytes(QDir(reports).filePath(QStringLiteral("fleet.pdf")));
    EXPECT_TRUE(fleetPdf.startsWith("%PDF-"));
    EXPECT_GT(fleetPdf.size(), 1000);
}

// Ctrl-C and SIGTERM reach every process of the run's group (a terminal, the
// service manager); a parent killed outright leaves its lines on their own.
// Each way, every line's call stops as Stop does: its entry sealed as stopped
// with what it stored, the summary (when there is one) saying the same, and
// no unit dealt after the stop.
TEST(CollectLines, EveryWayOfStoppingARoundSealsEachLinesEntryWithWhatItStored)
{
    for (const auto& [signal, group] : {std::pair{SIGINT, true}, {SIGTERM, true}, {SIGKILL, false}}) {
        SCOPED_TRACE(signal);
        CliRuns cli;
        QStringList args;
        ASSERT_NO_FATAL_FAILURE(startOffice(cli, {1001, 1002, 1003}, "days=20", {"--pace"}, &args));
        QProcess round;
        round.setChildProcessModifier([] { ::setpgid(0, 0); });
        test::startCli(round, args << "--json");
        ASSERT_TRUE(round.waitForStarted());
        auto db = cli.home.openDatabase();
        const auto stored = [&](int serial) {
            return int(test::take(Store(*db).count(QStringLiteral("Intervalos"), row({{"LNumeroSerie", serial}}))));
        };
        QElapsedTimer waited;
        waited.start();
        while (std::min(stored(1001), stored(1002)) < 20 && waited.elapsed() < 30000)
            QThread::msleep(50);
        ASSERT_GE(std::min(stored(1001), stored(1002)), 20) << "both lines on their calls";
        const pid_t pid = pid_t(round.processId());
        ASSERT_EQ(::kill(group ? -pid : pid, signal), 0);
        ASSERT_TRUE(round.waitForFinished(30000));
        for (waited.restart(); ::kill(-pid, 0) == 0 && waited.elapsed() < 30000;)
            QThread::msleep(50);
        EXPECT_NE(::kill(-pid, 0), 0) << "a line's worker outlived the round";

        QMap<int, int> journaled; // the intervals each entry says it stored
        for (const QList<JournalEntry> all = Journal(*db).entries().value(); const JournalEntry& e : all) {
            EXPECT_EQ(e.outcome, QStringLiteral("stopped")) << e.serial;
            const QStringList counts = e.counts.section(QStringLiteral("intervals "), 1).section('\n', 0, 0).split(' ');
            journaled[e.serial] = counts.value(0).toInt() + counts.value(1).toInt() + counts.value(2).toInt();
            EXPECT_EQ(journaled[e.serial], stored(e.serial));
            EXPECT_GE(journaled[e.serial], 20);
        }
        EXPECT_EQ(journaled.size(), 2);
        EXPECT_EQ(cli({"verify"}).exitCode, 0);
        if (!group)
            continue; // nobody was left to print a summary
        EXPECT_EQ(round.exitCode(), 130);
        const QJsonArray units = summaryUnits({0, QString::fromUtf8(round.readAllStandardOutput()), {}});
        EXPECT_EQ(units.size(), 2) << "the unit not yet dealt is left out";
        for (const QJsonValue& u : units)
            EXPECT_EQ(u["intervals"].toInt(), journaled.value(u["answered"].toInt(), -1));
        EXPECT_FALSE(round.readAllStandardError().contains("se ha detenido")) << "a stopped line is no failure";
    }
}
