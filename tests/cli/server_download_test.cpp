#include "cli_run.h"
#include "db/database.h"
#include "db/store.h"
#include "evidence/journal.h"
#include "support/office_roles.h"
#include "support/private_server.h"
#include "support/result_checks.h"
#include "support/rows.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QThread>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace tvq52;
using test::CliResult;
using test::CliRuns;
using test::onServerBackend;
using test::row;

namespace {

void storeUnits(Database& db, const QList<int>& serials)
{
    Store store(db);
    for (int serial : serials)
        ASSERT_TRUE(test::succeeded(store.insert(
            QStringLiteral("Programacion"), row({{"LNumeroSerie", serial}, {"TVersion", "4.0"}, {"ByTLeq", 15}}))));
}

std::unique_ptr<sim::SimProcess> startSim(const QStringList& args)
{
    auto sim = std::make_unique<sim::SimProcess>(QStringLiteral(TVQ52_BIN_DIR "/tvq52-sim"), args);
    EXPECT_TRUE(sim->start()) << qPrintable(sim->error());
    return sim;
}

// tvq52-cli download on one simulated unit, running until `finish`.
struct RunningDownload {
    QProcess process;

    void start(const QString& home, const sim::SimProcess& unit, const QStringList& more = {})
    {
        process.setStandardInputFile(QProcess::nullDevice());
        process.start(QStringLiteral(TVQ52_BIN_DIR "/tvq52-cli"),
                      QStringList{"--home", home, "--device", unit.devicePath()} + more + QStringList{"download"});
    }
    CliResult finish()
    {
        const bool ended = process.waitForFinished(30000);
        if (!ended)
            process.kill();
        return {ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
    }
};

int addedIntervals(const CliResult& r)
{
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("\nintervalos +(\\d+) +(\\d+) +(\\d+) +0\n")).match(r.out);
    EXPECT_TRUE(m.hasMatch()) << qPrintable(r.out);
    return m.captured(2).toInt();
}

constexpr int kTwoDays = 2 * 24 * 4;

} // namespace

// Two PCs of one office each download a unit, or the same one, into the
// office's server at the same time.
TEST(ServerDownload, TwoDownloadsAtOnceStoreEveryRecordOnceAndKeepOneJournalChain)
{
    if (!onServerBackend())
        GTEST_SKIP() << "a server run only";
    for (const bool sameUnit : {false, true}) {
        SCOPED_TRACE(sameUnit ? "the same unit twice" : "two units");
        CliRuns cli;
        cli.home.provision();
        auto db = cli.home.openDatabase();
        ASSERT_TRUE(db);
        storeUnits(*db, {4711, 4712});
        const QString second = sameUnit ? QStringLiteral("4711") : QStringLiteral("4712");
        auto first = startSim({"--serial", "4711", "--days", "2"});
        auto other = startSim({"--serial", second, "--days", "2"});
        RunningDownload a, b;
        a.start(cli.home.path(), *first, {"--clock-speed", "20"});
        b.start(cli.home.path(), *other, {"--clock-speed", "20"});
        const CliResult ra = a.finish(), rb = b.finish();
        ASSERT_EQ(ra.exitCode, 0) << qPrintable(ra.err + ra.out);
        ASSERT_EQ(rb.exitCode, 0) << qPrintable(rb.err + rb.out);

        Store store(*db);
        EXPECT_EQ(test::take(store.count(QStringLiteral("Intervalos"), row({{"LNumeroSerie", 4711}}))), kTwoDays);
        EXPECT_EQ(test::take(store.count(QStringLiteral("Intervalos"), row({{"LNumeroSerie", 4712}}))),
                  sameUnit ? 0 : kTwoDays);
        EXPECT_EQ(addedIntervals(ra) + addedIntervals(rb), sameUnit ? kTwoDays : 2 * kTwoDays)
            << "each record added once";
        const CliResult verify = cli({"verify"});
        EXPECT_EQ(verify.exitCode, 0) << qPrintable(verify.out + verify.err);
        const QList<JournalEntry> entries = Journal(*db).entries().value();
        ASSERT_EQ(entries.size(), 2);
        // Whichever was sealed first starts the chain, the other follows it.
        EXPECT_TRUE((entries[0].previous == 0 && entries[1].previous == entries[0].id)
                    || (entries[1].previous == 0 && entries[0].previous == entries[1].id));
        // The server named the login of each, which the listing gives.
        QSqlQuery login(db->connection());
        ASSERT_TRUE(login.exec(QStringLiteral("SELECT session_user")) && login.next());
        const QJsonArray listed =
            QJsonDocument::fromJson(cli({"journal", "--json"}).out.toUtf8()).object().value("entries").toArray();
        ASSERT_EQ(listed.size(), 2);
        for (const QJsonValue& e : listed)
            EXPECT_EQ(e.toObject().value("user").toString(), login.value(0).toString());
    }
}

TEST(ServerDownload, AServerStoppedMidDownloadEndsItSayingSoAndKeepsEveryAcknowledgedRecord)
{
    if (!onServerBackend())
        GTEST_SKIP() << "a server run only";
    test::PrivateServer server;
    auto db = server.open();
    ASSERT_TRUE(db);
    storeUnits(*db, {4711});
    CliRuns cli;
    cli.home.provision();
    const QStringList onServer{"--database", server.target().uri()};
    const QString ackLog = cli.home.file(QStringLiteral("acks.txt"));
    auto paced = startSim({"--serial", "4711", "--days", "2", "--pace", "--ack-log", ackLog});
    RunningDownload download;
    download.start(cli.home.path(), *paced, onServer);
    QElapsedTimer waited;
    waited.start();
    while (test::fileLines(ackLog).size() < 20 && waited.elapsed() < 20000)
        QThread::msleep(20);
    ASSERT_TRUE(server.halt());
    const CliResult lost = download.finish();
    EXPECT_EQ(lost.exitCode, 1);
    EXPECT_TRUE(lost.err.contains(QStringLiteral("tvq52-cli: Se ha perdido la conexión con la base de datos")))
        << qPrintable(lost.err);
    EXPECT_FALSE(lost.err.contains(QStringLiteral("transmisión"))) << qPrintable(lost.err);
    // Said once, in the user's words: none of the driver's own warnings.
    for (const QString& line : lost.err.split(QLatin1Char('\n')))
        EXPECT_FALSE(line.startsWith(QLatin1String("FATAL:")) || line.contains(QLatin1String("Unable to"))
                     || line.contains(QLatin1String("database not open")))
            << qPrintable(lost.err);
    const QStringList acks = test::fileLines(ackLog);
    ASSERT_GE(acks.size(), 20);
    ASSERT_LT(acks.size(), kTwoDays) << "stopped mid-list";

    ASSERT_TRUE(server.resume());
    db = server.open();
    ASSERT_TRUE(db);
    // Each interval was committed before its acknowledgement, and nothing after
    // the last one (which the unit may not have logged yet).
    const qint64 stored = test::take(Store(*db).count(QStringLiteral("Intervalos")));
    EXPECT_GE(stored, acks.size());
    EXPECT_LE(stored, acks.size() + 1);

    paced.reset();
    auto fast = startSim({"--serial", "4711", "--days", "2"});
    download.start(cli.home.path(), *fast, onServer + QStringList{"--clock-speed", "20"});
    const CliResult again = download.finish();
    EXPECT_EQ(again.exitCode, 0) << qPrintable(again.err + again.out);
    EXPECT_EQ(test::take(Store(*db).count(QStringLiteral("Intervalos"))), kTwoDays);
    const CliResult verify = cli(onServer + QStringList{"verify"});
    EXPECT_EQ(verify.exitCode, 0) << qPrintable(verify.out + verify.err);
}

// A login is refused what its role does not allow before any line is
// dialled or any row of a file read, naming the role it needs; an allowed
// one goes on to the line.
TEST(ServerDownload, ALoginIsRefusedWhatItsRoleDoesNotAllowBeforeTheLineOrTheFile)
{
    if (!onServerBackend())
        GTEST_SKIP() << "a server run only";
    test::ServerTestDatabase server;
    test::OfficeRoles roles(server);
    roles.handOver();
    CliRuns cli;
    cli.home.provision();
    // A pipe nobody writes to: reading a row of it would never end.
    const QString pipe = cli.home.file(QStringLiteral("import.pipe"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QStringList noLine{"--device", cli.home.file(QStringLiteral("no-such-tty"))};
    struct Case {
        Right login;
        QStringList args;
        const char* needed; // nullptr: allowed, the line's own failure follows
    };
    const Case cases[] = {
        {Right::Read, {"import", pipe}, "collect"},
        {Right::Read, noLine + QStringList{"download"}, "collect"},
        {Right::Read, {"merge", cli.home.file(QStringLiteral("missing.db"))}, "collect"},
        {Right::Collect, noLine + QStringList{"program", "put", "4711"}, "admin"},
        {Right::None, {"journal"}, "read"},
        {Right::Collect, noLine + QStringList{"download"}, nullptr},
    };
    const auto naming = [](const char* level) {
        return QRegularExpression(QStringLiteral("[«\"„] ?%1 ?[»\"“]").arg(QLatin1String(level)));
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        const CliResult r = cli(QStringList{"--database", roles.as(c.login).uri()} + c.args);
        EXPECT_EQ(r.exitCode, 1) << qPrintable(r.err);
        for (const char* level : {"read", "collect", "admin"})
            EXPECT_EQ(r.err.contains(naming(level)), c.needed && qstrcmp(level, c.needed) == 0)
                << level << ": " << qPrintable(r.err);
    }
}
