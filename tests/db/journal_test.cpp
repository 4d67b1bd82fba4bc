#include "app/data_folder.h"
#include "db/database.h"
#include "db/journal.h"
#include "db/store.h"
#include "records/record_store.h"
#include "support/rows.h"
#include "support/temp_home.h"

#include <QSet>
#include <QSqlQuery>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

using namespace tvq52;
using tvq52::test::onServerBackend;
using tvq52::test::row;
using tvq52::test::TempHome;

namespace {

constexpr qint32 kSerial = 1234;

IntervalRecord intervalEnding(int hour, int minute, float leq)
{
    IntervalRecord r;
    r.end = wallClock(QDate(2010, 3, 15), QTime(hour, minute));
    r.leqMinutes = 15;
    r.start = r.end.addSecs(-15 * 60);
    r.leqVenue = leq;
    r.leqNeighbour = 45.2f;
    r.stats.maxLeq1At = r.stats.minLeq1At = r.end;
    r.actionVenue = QStringLiteral("Leq125ms");
    r.actionNeighbour = QStringLiteral("0");
    r.dna = 1;
    return r;
}

class JournalTest : public ::testing::Test {
protected:
    TempHome home;
    std::unique_ptr<Database> db;
    std::unique_ptr<Journal> journal;
    void SetUp() override
    {
        home.provision();
        db = home.openDatabase();
        journal = std::make_unique<Journal>(*db);
        // Records are only stored for a unit the database holds.
        ASSERT_TRUE(Store(*db).insert("Programacion", row({{"LNumeroSerie", kSerial}})));
    }
    // A download's entry with three intervals and an event date.
    qint64 download(float leq)
    {
        const auto entry = journal->open(JournalAction::Download, kSerial, QStringLiteral("cable"));
        EXPECT_TRUE(entry) << journal->lastError().toStdString();
        RecordStore records(*db);
        records.setJournalEntry(journal.get(), *entry);
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(records.storeInterval(kSerial, intervalEnding(10, 15 * i, leq + float(i))))
                << records.lastError().toStdString();
        EXPECT_TRUE(records.storeEvent(kSerial, {EventKind::Erasure, wallClock(QDate(2010, 3, 1), QTime(9, 0))}));
        EXPECT_TRUE(journal->seal(*entry, QStringLiteral("completed"), QStringLiteral("Datos recibidos"),
                                  QStringLiteral("Intervalos 3 0 0"), QStringLiteral("300 0 1 7")));
        return *entry;
    }
    void exec(const QString& sql)
    {
        QSqlQuery q(db->connection());
        ASSERT_TRUE(q.exec(sql)) << sql.toStdString();
    }
};

} // namespace

TEST_F(JournalTest, ADownloadVerifiesAndAHandEditedLevelIsNamed)
{
    const qint64 entry = download(80.0f);
    JournalVerification v = journal->verify();
    EXPECT_TRUE(v.findings.isEmpty());
    EXPECT_EQ(v.recordsChecked, 4);
    EXPECT_EQ(v.recordsNotJournaled, 0);
    EXPECT_EQ(v.head, journal->head());
    ASSERT_EQ(journal->entries().size(), 1);
    EXPECT_EQ(journal->entries()[0].hash, journal->head());
    EXPECT_EQ(journal->entries()[0].line, QStringLiteral("cable"));
    EXPECT_EQ(journal->entries()[0].totals, QStringLiteral("300 0 1 7"));

    // A row added by hand is only counted.
    Store store(*db);
    ASSERT_TRUE(store.insert("DiaReprogramado",
                             row({{"LNumeroSerie", kSerial}, {"DFecha", QDate(2009, 1, 1)}, {"THora", "08:00"}})));
    exec(QStringLiteral("UPDATE \"Intervalos\" SET \"SLeqLocal\" = 81.5 WHERE \"THoraInicio\" = '10:00'"));
    v = journal->verify();
    EXPECT_EQ(v.recordsNotJournaled, 1);
    ASSERT_EQ(v.findings.size(), 1);
    EXPECT_EQ(v.findings[0].kind, JournalFinding::Kind::RecordEdited);
    EXPECT_EQ(v.findings[0].entry, entry);
    EXPECT_EQ(v.findings[0].table, QStringLiteral("Intervalos"));
    EXPECT_EQ(v.findings[0].key, QStringLiteral("1234 2010-03-15 10:00"));
    // Another unit's verification does not see it.
    EXPECT_TRUE(journal->verify(kSerial + 1).findings.isEmpty());
}

TEST_F(JournalTest, RecordsStoredAgainVerifyAgainstTheNewestEntryAndGoneRowsNeedADeletion)
{
    download(80.0f);
    const qint64 second = download(90.0f);
    JournalVerification v = journal->verify();
    EXPECT_TRUE(v.findings.isEmpty());
    EXPECT_EQ(v.recordsRewritten, 4);
    EXPECT_EQ(v.recordsChecked, 4);
    ASSERT_EQ(journal->entries().size(), 2);
    EXPECT_EQ(journal->entries()[0].previous, journal->entries()[1].id);

    exec(QStringLiteral("DELETE FROM \"DiaBorrado\""));
    v = journal->verify();
    ASSERT_EQ(v.findings.size(), 1);
    EXPECT_EQ(v.findings[0].kind, JournalFinding::Kind::RecordMissing);
    EXPECT_EQ(v.findings[0].entry, second);
    EXPECT_EQ(v.findings[0].table, QStringLiteral("DiaBorrado"));

    ASSERT_TRUE(journal->append(JournalAction::UnitDeletion, kSerial, {}, QStringLiteral("completed"), {}));
    exec(QStringLiteral("DELETE FROM \"Intervalos\""));
    EXPECT_TRUE(journal->verify().findings.isEmpty());
}

TEST_F(JournalTest, AChangedEntryFieldOrLinkIsFound)
{
    const qint64 first = download(80.0f);
    const qint64 second = download(80.0f);
    exec(QStringLiteral("UPDATE \"Diario\" SET \"TMensaje\" = 'Otro' WHERE \"LId\" = %1").arg(first));
    JournalVerification v = journal->verify();
    ASSERT_FALSE(v.findings.isEmpty());
    EXPECT_EQ(v.findings[0].kind, JournalFinding::Kind::EntryAltered);
    EXPECT_EQ(v.findings[0].entry, first);

    exec(QStringLiteral("UPDATE \"Diario\" SET \"TMensaje\" = 'Datos recibidos' WHERE \"LId\" = %1").arg(first));
    EXPECT_TRUE(journal->verify().findings.isEmpty());
    exec(QStringLiteral("UPDATE \"Diario\" SET \"LAnterior\" = 0 WHERE \"LId\" = %1").arg(second));
    v = journal->verify();
    ASSERT_FALSE(v.findings.isEmpty());
    EXPECT_EQ(v.findings[0].kind, JournalFinding::Kind::ChainBroken);
    EXPECT_EQ(v.findings[0].entry, second);

    // A record line dropped from a sealed entry changes its hash too.
    exec(QStringLiteral("UPDATE \"Diario\" SET \"LAnterior\" = %1 WHERE \"LId\" = %2").arg(first).arg(second));
    exec(QStringLiteral("DELETE FROM \"DiarioRegistros\" WHERE \"LEntrada\" = %1 AND \"TTabla\" = 'DiaBorrado'")
             .arg(first));
    v = journal->verify();
    ASSERT_EQ(v.findings.size(), 1);
    EXPECT_EQ(v.findings[0].kind, JournalFinding::Kind::EntryAltered);
    EXPECT_EQ(v.findings[0].entry, first);
}

TEST_F(JournalTest, AnEntryLeftOpenIsSealedInterruptedUnlessItsProgramStillHoldsIt)
{
    std::unique_ptr<Database> other = home.openDatabase();
    auto held = std::make_unique<Journal>(*other);
    const auto open = held->open(JournalAction::Download, kSerial, QStringLiteral("modem"));
    ASSERT_TRUE(open);
    const auto dropped = held->open(JournalAction::ProgramReceive, kSerial, QStringLiteral("modem"));
    ASSERT_TRUE(dropped);

    ASSERT_TRUE(journal->append(JournalAction::ProgramTransmit, kSerial, QStringLiteral("cable"),
                                QStringLiteral("completed"), {}));
    for (const JournalEntry& e : journal->entries())
        EXPECT_EQ(e.sealed(), e.id != *open && e.id != *dropped) << e.id;

    // The holder goes away without sealing (as when the program is killed).
    held.reset();
    const auto next = journal->open(JournalAction::Download, kSerial, QStringLiteral("cable"));
    ASSERT_TRUE(next);
    for (const JournalEntry& e : journal->entries()) {
        if (e.id == *open || e.id == *dropped) {
            EXPECT_TRUE(e.sealed());
            EXPECT_EQ(e.outcome, QStringLiteral("interrupted"));
        }
    }
    EXPECT_FALSE(journal->seal(*open, QStringLiteral("completed"), {}));
    EXPECT_TRUE(journal->seal(*next, QStringLiteral("completed"), {}));
    EXPECT_TRUE(journal->verify().findings.isEmpty());
}

TEST(JournalSchema, AnOlderDatabaseGetsTheJournalTables)
{
    TempHome home;
    home.provision();
    {
        auto db = home.openDatabase();
        QSqlQuery q(db->connection());
        ASSERT_TRUE(q.exec("DROP TABLE \"Diario\""));
        ASSERT_TRUE(q.exec("DROP TABLE \"DiarioRegistros\""));
        if (!onServerBackend()) {
            EXPECT_TRUE(db->verifySchema().isEmpty());
        }
    }
    auto db = home.openDatabase();
    if (onServerBackend()) {
        // A server database is laid out by init or on the program's question.
        EXPECT_EQ(db->inspectSchema(), SchemaState::Partial);
        QString error;
        ASSERT_TRUE(db->layOutSchema(&error)) << error.toStdString();
        EXPECT_EQ(db->inspectSchema(), SchemaState::Ready);
    } else {
        const QStringList tables = db->connection().tables();
        EXPECT_TRUE(tables.contains("Diario"));
        EXPECT_TRUE(tables.contains("DiarioRegistros"));
        QSqlQuery q(db->connection());
        ASSERT_TRUE(q.exec("PRAGMA journal_mode") && q.next());
        EXPECT_EQ(q.value(0).toString(), QStringLiteral("wal"));
    }
    Journal journal(*db);
    EXPECT_TRUE(journal.append(JournalAction::Merge, 0, {}, QStringLiteral("completed"), {}))
        << journal.lastError().toStdString();
}

TEST_F(JournalTest, ProgramsAppendingAtOnceKeepOneChain)
{
    constexpr int kEach = 25;
    std::atomic<int> failed{0};
    const auto appendMany = [&](qint32 serial) {
        auto connection = home.openDatabase();
        Journal own(*connection);
        for (int i = 0; i < kEach; ++i)
            if (!own.append(JournalAction::ProgramTransmit, serial, QStringLiteral("cable"),
                            QStringLiteral("completed"), {}))
                ++failed;
    };
    std::thread first(appendMany, kSerial), second(appendMany, kSerial + 1);
    first.join();
    second.join();
    EXPECT_EQ(failed, 0);
    const QList<JournalEntry> entries = journal->entries();
    ASSERT_EQ(entries.size(), 2 * kEach);
    QSet<qint64> previous;
    for (const JournalEntry& e : entries)
        previous.insert(e.previous);
    EXPECT_EQ(previous.size(), 2 * kEach) << "no two entries chain to the same one";
    const JournalVerification v = journal->verify();
    EXPECT_TRUE(v.findings.isEmpty()) << v.findings.value(0).detail.toStdString();
}
