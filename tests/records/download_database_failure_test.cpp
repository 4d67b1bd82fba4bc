#include "db/database.h"
#include "db/store.h"
#include "evidence/journal.h"
#include "i18n/translator.h"
#include "link/exchange_session.h"
#include "records/download_workflow.h"
#include "records/records_view.h"
#include "support/memory_unit.h"
#include "support/result_checks.h"
#include "support/rows.h"
#include "support/scripted_prompter.h"
#include "support/temp_home.h"

#include <QDir>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <sys/mount.h>

using namespace tvq52;
using test::row;

namespace {

class ShownUnitView : public RecordsView {
public:
    qint32 shownSerial() const override { return 4711; }
    std::optional<DownloadRange> chooseRange(const DownloadRange& proposal) override { return proposal; }
    bool showUnit(qint32) override { return true; }
    void showFirmware(const QString&) override {}
    void showTotals(const TotalsReading&) override {}
    void ToggleButtons() override {}
    void downloadFinished() override {}
};

// Passes the messages on, after letting the test act as the user would
// while one is on the screen.
class WatchedPrompter : public ForwardingPrompter {
public:
    using ForwardingPrompter::ForwardingPrompter;
    Answer message(const Message& m) override
    {
        if (m.style == MessageStyle::Critical && whileCritical)
            whileCritical();
        return ForwardingPrompter::message(m);
    }
    std::function<void()> whileCritical;
};

// How the database gives way during a download, and how it recovers while
// the user reads the message.
struct Failure {
    const char* name;
    std::function<void(QSqlDatabase window, const test::TempHome& home)> begin;
    std::function<void(QSqlDatabase window)> end;
    QString expectedStart;
};

void PrintTo(const Failure& failure, std::ostream* os)
{
    *os << failure.name;
}

void exec(QSqlDatabase db, const QString& sql)
{
    QSqlQuery q(db);
    ASSERT_TRUE(q.exec(sql)) << sql.toStdString() << ": " << q.lastError().text().toStdString();
}

// Another program's write transaction, held past the busy wait.
std::unique_ptr<Database> otherProgram;

const Failure kFailures[] = {
    {"DiskFull",
     [](QSqlDatabase window, const test::TempHome&) {
         // The file may not grow by a single page any more.
         QSqlQuery q(window);
         ASSERT_TRUE(q.exec(QStringLiteral("PRAGMA page_count")) && q.next());
         const qint64 pages = q.value(0).toLongLong();
         q.finish();
         exec(window, QStringLiteral("PRAGMA max_page_count = %1").arg(pages));
     },
     [](QSqlDatabase window) { exec(window, QStringLiteral("PRAGMA max_page_count = 1073741823")); },
     QStringLiteral("No queda espacio en el disco para la base de datos (database or disk is full")},
    {"Locked",
     [](QSqlDatabase, const test::TempHome& home) {
         otherProgram = home.openDatabase();
         ASSERT_TRUE(otherProgram);
         exec(otherProgram->connection(), QStringLiteral("BEGIN IMMEDIATE"));
     },
     [](QSqlDatabase) {
         exec(otherProgram->connection(), QStringLiteral("ROLLBACK"));
         otherProgram.reset();
     },
     QStringLiteral("Otro programa mantiene bloqueada la base de datos (database is locked")},
    {"ReadOnly",
     [](QSqlDatabase window, const test::TempHome&) { exec(window, QStringLiteral("PRAGMA query_only = ON")); },
     [](QSqlDatabase window) { exec(window, QStringLiteral("PRAGMA query_only = OFF")); },
     QStringLiteral("No se puede escribir en la base de datos %1 (attempt to write a readonly database")},
};

class LocalDatabaseFailure : public ::testing::TestWithParam<Failure>, protected test::MemoryUnit {
protected:
    void SetUp() override
    {
        if (test::onServerBackend())
            GTEST_SKIP() << "a database file's own failures";
        home.provision();
        db = home.openDatabase();
        ASSERT_TRUE(db);
        store = std::make_unique<Store>(*db);
        ASSERT_TRUE(store->insert(QStringLiteral("Programacion"),
                                  row({{"LNumeroSerie", 4711}, {"TVersion", "4.0"}, {"ByTLeq", 15}})));
        const QString refused = connect({"--serial", "4711", "--firmware", "4.0", "--days", "2"});
        ASSERT_TRUE(refused.isEmpty()) << refused.toStdString();
    }
    void TearDown() override { otherProgram.reset(); }

    test::TempHome home;
    std::unique_ptr<Database> db;
    std::unique_ptr<Store> store;
    ExchangeSession session{{}, line, clock, kDownloadSilenceLimitMs};
    test::ScriptedPrompter shown;
    WatchedPrompter prompter{shown};
    Translator translator;
    ShownUnitView view;
};

} // namespace

TEST_P(LocalDatabaseFailure, IsToldForWhatItIsAndNothingUnstoredIsAcknowledged)
{
    const Failure& failure = GetParam();
    // The database gives way as the 20th interval is acknowledged.
    int acks = 0;
    unit->onAcknowledged([&](const QByteArray&) {
        if (++acks == 20)
            failure.begin(db->connection(), home);
    });
    prompter.whileCritical = [&] { failure.end(db->connection()); };

    DownloadWorkflow workflow(session, prompter, translator, *db, view);
    const DownloadReport r = workflow.run();

    EXPECT_EQ(r.outcome, DownloadOutcome::Failed);
    ASSERT_EQ(shown.shown().size(), 2);
    const Message& told = shown.shown().at(1);
    EXPECT_EQ(told.style, MessageStyle::Critical);
    const QString expected = failure.expectedStart.contains(QLatin1String("%1")) ? failure.expectedStart.arg(db->path())
                                                                                 : failure.expectedStart;
    EXPECT_TRUE(told.text.startsWith(expected)) << told.text.toStdString();
    EXPECT_FALSE(told.text.contains(QStringLiteral("servidor"))) << "no server is involved";
    EXPECT_EQ(line.written().right(1).toHex(), "18") << "the unit is told to stop";

    // Every acknowledged interval is stored, and no other.
    EXPECT_EQ(r.counts[int(RecordKind::Intervals)].added, acks);
    EXPECT_EQ(test::take(store->count(QStringLiteral("Intervalos"), row({{"LNumeroSerie", 4711}}))), acks);
    EXPECT_GE(acks, 20);

    const QList<JournalEntry> entries = Journal(*db).entries(4711).value();
    ASSERT_EQ(entries.size(), 1);
    EXPECT_TRUE(entries[0].sealed());
    EXPECT_EQ(entries[0].outcome, QStringLiteral("failed"));
    EXPECT_EQ(entries[0].message, told.text);
}

INSTANTIATE_TEST_SUITE_P(Reasons, LocalDatabaseFailure, ::testing::ValuesIn(kFailures),
                         [](const ::testing::TestParamInfo<Failure>& p) { return std::string(p.param.name); });

TEST(DownloadOnAFullDisk, KeepsWhatItAcknowledgedAndSealsItsEntryThoughTheDiskStaysFull)
{
    if (test::onServerBackend())
        GTEST_SKIP() << "a database file's own failures";
    // A small file system of its own, as only a full disk behaves.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    if (::mount("tmpfs", QFile::encodeName(dir.path()).constData(), "tmpfs", 0, "size=2m") != 0)
        GTEST_SKIP() << "no file system can be mounted here";
    struct Unmount {
        QByteArray path;
        ~Unmount() { ::umount2(path.constData(), MNT_DETACH); }
    } unmount{QFile::encodeName(dir.path())};

    const QString path = QDir(dir.path()).filePath(QStringLiteral("tvq52.db"));
    ASSERT_TRUE(test::succeeded(Database::createSqlite(path)));
    auto db = test::take(Database::openSqlite(path));
    ASSERT_TRUE(db);
    ASSERT_TRUE(Store(*db).insert(QStringLiteral("Programacion"),
                                  row({{"LNumeroSerie", 4711}, {"TVersion", "4.0"}, {"ByTLeq", 15}})));
    // The disk filled up to its last few pages.
    {
        QFile filler(QDir(dir.path()).filePath(QStringLiteral("filler")));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size() && filler.flush()) {}
        filler.close();
        ASSERT_TRUE(filler.resize(std::max<qint64>(0, filler.size() - 256 * 1024)));
    }

    test::MemoryUnit sim;
    ASSERT_TRUE(sim.connect({"--serial", "4711", "--firmware", "4.0", "--days", "2"}).isEmpty());
    int acks = 0;
    sim.unit->onAcknowledged([&](const QByteArray&) { ++acks; });
    ExchangeSession session{{}, sim.line, sim.clock, kDownloadSilenceLimitMs};
    test::ScriptedPrompter shown;
    Translator translator;
    ShownUnitView view;
    DownloadWorkflow workflow(session, shown, translator, *db, view);
    const DownloadReport r = workflow.run();

    EXPECT_EQ(r.outcome, DownloadOutcome::Failed);
    ASSERT_EQ(shown.shown().size(), 2);
    const QString told = shown.shown().at(1).text;
    EXPECT_TRUE(told.startsWith(QStringLiteral("No queda espacio en el disco"))) << told.toStdString();
    EXPECT_EQ(sim.line.written().right(1).toHex(), "18") << "the unit is told to stop";
    EXPECT_GT(acks, 0) << "the disk filled up during the list";
    EXPECT_LT(acks, int(sim.history.intervals.size()));
    EXPECT_EQ(test::take(Store(*db).count(QStringLiteral("Intervalos"), row({{"LNumeroSerie", 4711}}))), acks);

    const QList<JournalEntry> entries = Journal(*db).entries(4711).value();
    ASSERT_EQ(entries.size(), 1);
    EXPECT_TRUE(entries[0].sealed()) << "sealed with the disk still full";
    EXPECT_EQ(entries[0].outcome, QStringLiteral("failed"));
    EXPECT_EQ(entries[0].message, told);
}
