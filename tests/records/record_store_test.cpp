#include "db/database.h"
#include "db/store.h"
#include "evidence/journal.h"
#include "link/frame.h"
#include "records/record_frames.h"
#include "records/record_store.h"
#include "support/folder_database.h"
#include "support/result_checks.h"
#include "support/rows.h"
#include "support/temp_home.h"

#include <QSqlQuery>
#include <QThread>
#include <gtest/gtest.h>
#include <thread>

using namespace tvq52;
using namespace tvq52::test;

namespace {

constexpr qint32 kSerial = 4321;

class RecordStoreTest : public FolderDatabaseTest {
protected:
    std::unique_ptr<RecordStore> records;
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(FolderDatabaseTest::SetUp());
        records = std::make_unique<RecordStore>(*db);
        ASSERT_TRUE(store->insert("Programacion", row({{"LNumeroSerie", kSerial}})));
    }
    IntervalRecord interval(const sim::IntervalRecord& s, IntervalLayout layout)
    {
        const auto d = decodeIntervalBytes(intervalBytes(s, layout), layout);
        EXPECT_EQ(d.kind, RecordFrame::Record) << d.refusal.toStdString();
        return d.record;
    }
    Row onlyRow(const char* table)
    {
        const QList<Row> rows = test::take(store->select(QString::fromLatin1(table), row({{"LNumeroSerie", kSerial}})));
        EXPECT_EQ(rows.size(), 1) << table;
        return rows.value(0);
    }
};

} // namespace

TEST_F(RecordStoreTest, AnIntervalStoredTwiceIsOneRowRewrittenInPlace)
{
    sim::IntervalRecord s = sampleInterval(at(2010, 1, 1, 0, 5), 10);
    s.leqNeighbour = 0;
    EXPECT_EQ(*records->storeInterval(kSerial, interval(s, IntervalLayout::From30)), Stored::Added);
    s.leqVenue = 990;
    EXPECT_EQ(*records->storeInterval(kSerial, interval(s, IntervalLayout::From30)), Stored::Rewritten);

    const Row r = onlyRow("Intervalos");
    EXPECT_EQ(r.value("DFechaInicio").toDate(), QDate(2009, 12, 31));
    EXPECT_EQ(r.value("THoraInicio").toString(), QStringLiteral("23:55"));
    EXPECT_EQ(r.value("DFechaFinal").toDate(), QDate(2010, 1, 1));
    EXPECT_EQ(r.value("THoraFinal").toString(), QStringLiteral("00:05"));
    EXPECT_FLOAT_EQ(r.value("SLeqLocal").toFloat(), 99.0f);
    EXPECT_FLOAT_EQ(r.value("SLeqVecino").toFloat(), 0.0f);
    EXPECT_EQ(r.value("TFechaMaxLeq1min").toString(), QStringLiteral("01/01/2010"));
    EXPECT_EQ(r.value("THoraMaxLeq1min").toString(), QStringLiteral("00:03"));
    EXPECT_EQ(r.value("TTipoActuacionLocal").toString(), QStringLiteral("Leq125ms"));
    EXPECT_EQ(r.value("TTipoActuacionVecino").toString(), QStringLiteral("0"));
    EXPECT_EQ(r.value("ByENA").toInt(), 4);
    EXPECT_TRUE(r.value("BoRS232").toBool());
    EXPECT_EQ(records->newestIntervalStart(kSerial), wallClock(QDate(2009, 12, 31), QTime(23, 55)));
}

TEST_F(RecordStoreTest, AnOlderLayoutIntervalKeepsTheNewerColumnsOfTheRowItOverwrites)
{
    const sim::IntervalRecord s = sampleInterval(at(2015, 4, 2, 18, 30));
    const sim::IntervalRecord other = sampleInterval(at(2015, 4, 2, 18, 45));
    ASSERT_EQ(*records->storeInterval(kSerial, interval(s, IntervalLayout::From30)), Stored::Added);
    ASSERT_EQ(*records->storeInterval(kSerial, interval(s, IntervalLayout::Before30)), Stored::Rewritten);
    ASSERT_EQ(*records->storeInterval(kSerial, interval(other, IntervalLayout::Before30)), Stored::Added);

    const QList<Row> rows = test::take(store->select("Intervalos", row({{"LNumeroSerie", kSerial}}), {"THoraInicio"}));
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].value("ByDNA").toInt(), 3);
    EXPECT_EQ(rows[0].value("ByENA").toInt(), 4);
    EXPECT_EQ(rows[0].value("ByLineaInsuficiente").toInt(), 5);
    // The overwrite did write: the older layout passes the neighbour level
    // through the range markers (45.2 is under range).
    EXPECT_FLOAT_EQ(rows[0].value("SLeqVecino").toFloat(), kUnderRange);
    for (const char* column : {"ByDNA", "ByENA", "ByLineaInsuficiente"})
        EXPECT_TRUE(rows[1].value(column).isNull()) << column;
}

TEST_F(RecordStoreTest, EventDatesAreKeyedByValueAndSessionsByTheirStart)
{
    QByteArray payload(150, 0);
    payload.replace(0, 5, QByteArray::fromHex("0f036e0a1e"));
    const QByteArray frame = completeFrame(0x03, payload);
    for (int download = 0; download < 2; ++download) {
        const QList<EventDate> dates =
            decodeEventDates(reinterpret_cast<const std::uint8_t*>(frame.constData()), int(frame.size()));
        ASSERT_EQ(dates.size(), 1);
        EXPECT_EQ(*records->storeEvent(kSerial, dates[0]), download == 0 ? Stored::Added : Stored::Rewritten);
    }
    const Row e = onlyRow("DiaBorrado");
    EXPECT_EQ(e.value("DFecha").toDate(), QDate(2010, 3, 15));
    EXPECT_EQ(e.value("THora").toString(), QStringLiteral("10:30"));
    EXPECT_EQ(test::take(store->count("DiaFinalBateria")), 0);

    sim::SessionRecord s = sampleSession(at(2011, 8, 12, 21, 30));
    const auto first = decodeSessionBytes(sessionBytes(s));
    s.end = s.end.addSecs(600);
    const auto second = decodeSessionBytes(sessionBytes(s));
    EXPECT_EQ(*records->storeSession(kSerial, first.record), Stored::Added);
    EXPECT_EQ(*records->storeSession(kSerial, second.record), Stored::Rewritten);
    const Row r = onlyRow("Sesiones");
    EXPECT_EQ(r.value("THoraFinal").toString(), QStringLiteral("02:40"));
    EXPECT_EQ(r.value("LPasMaxFast").toInt(), 80000);
    EXPECT_EQ(r.value("THoraInicioNoche").toString(), QStringLiteral("23:00"));
}

TEST_F(RecordStoreTest, TotalsGoToTheUnitsRowAndTheProposedRangeStartsAtTheNewestInterval)
{
    const TotalsReading t{300, -5, 2, 7, QDateTime(QDate(2024, 2, 29), QTime(13, 4, 5))};
    EXPECT_TRUE(records->storeTotals(kSerial, t));
    const Row p = onlyRow("Programacion");
    EXPECT_EQ(p.value("LPasadasLocal").toInt(), 300);
    EXPECT_EQ(p.value("LE3").toInt(), -5);
    EXPECT_EQ(p.value("LCB").toInt(), 2);
    EXPECT_EQ(p.value("LPasadasVecino").toInt(), 7);
    EXPECT_EQ(p.value("DFechaTotales").toDate(), QDate(2024, 2, 29));
    EXPECT_EQ(p.value("THoraTotales").toString(), QStringLiteral("13:04:05"));
    EXPECT_FALSE(records->storeTotals(kSerial + 1, t));

    const QDateTime now = at(2024, 3, 10, 9, 0);
    const DownloadRange empty = proposedRange(*records, kSerial, now).value();
    EXPECT_EQ(empty.start(), wallClock(QDate(2024, 1, 10), QTime(9, 0)));
    EXPECT_EQ(empty.end(), wallClock(QDate(2024, 3, 10), QTime(9, 0)));

    // Newest by date, then time: a later day with an earlier hour wins.
    for (const QDateTime& end : {at(2024, 3, 8, 23, 45), at(2024, 3, 9, 0, 30), at(2024, 3, 7, 23, 59)})
        ASSERT_TRUE(records->storeInterval(kSerial, interval(sampleInterval(end), IntervalLayout::From30)));
    ASSERT_TRUE(store->insert("Programacion", row({{"LNumeroSerie", kSerial + 1}})));
    ASSERT_TRUE(
        records->storeInterval(kSerial + 1, interval(sampleInterval(at(2024, 3, 9, 8, 0)), IntervalLayout::From30)));
    EXPECT_EQ(proposedRange(*records, kSerial, now).value().start(), wallClock(QDate(2024, 3, 9), QTime(0, 15)));
}

TEST_F(RecordStoreTest, AStartInsideTheDaylightSavingGapIsStoredAsTheUnitsClockReadIt)
{
    const QByteArray oldTz = qgetenv("TZ");
    qputenv("TZ", "Europe/Madrid");
    tzset();
    QByteArray f = intervalBytes(sampleInterval(at(2010, 3, 28, 1, 0), 10), IntervalLayout::From30);
    f[7] = 3;
    f[8] = 5;
    const auto d = decodeIntervalBytes(f, IntervalLayout::From30);
    const auto stored = records->storeInterval(kSerial, d.record);
    const Row r = onlyRow("Intervalos");
    if (oldTz.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", oldTz);
    tzset();
    ASSERT_TRUE(stored) << stored.error().detail.toStdString();
    EXPECT_EQ(*stored, Stored::Added);
    EXPECT_EQ(r.value("DFechaInicio").toDate(), QDate(2010, 3, 28));
    EXPECT_EQ(r.value("THoraInicio").toString(), QStringLiteral("02:55"));
    EXPECT_EQ(r.value("THoraFinal").toString(), QStringLiteral("03:05"));
}

TEST_F(RecordStoreTest, AfterADownloadThatDidNotCompleteTheProposalReachesBackOverTheGapItLeft)
{
    // sampleInterval's default Leq time gives starts 15 minutes before each end.
    Journal journal(*db);
    auto download = [&](const QString& outcome, std::initializer_list<QDateTime> ends) {
        const Result<qint64> entry = journal.open(JournalAction::Download, kSerial, QStringLiteral("cable"));
        ASSERT_TRUE(entry);
        records->setJournalEntry(&journal, *entry);
        for (const QDateTime& end : ends)
            ASSERT_TRUE(records->storeInterval(kSerial, interval(sampleInterval(end), IntervalLayout::From30)));
        records->setJournalEntry(nullptr, 0);
        ASSERT_TRUE(journal.seal(*entry, outcome, {}));
    };
    const QDateTime now = at(2024, 3, 20, 9, 0);
    download(QStringLiteral("completed"), {at(2024, 3, 1, 10, 0), at(2024, 3, 1, 10, 15)});
    EXPECT_EQ(proposedRange(*records, kSerial, now).value().start(), wallClock(QDate(2024, 3, 1), QTime(10, 0)));

    // Stopped after the newest records: the days between 1 and 18 March are still on the unit.
    download(QStringLiteral("stopped"), {at(2024, 3, 19, 10, 0), at(2024, 3, 18, 10, 0)});
    EXPECT_EQ(proposedRange(*records, kSerial, now).value().start(), wallClock(QDate(2024, 3, 1), QTime(10, 0)));
    // A second failure that reads less still leaves the first one's gap to read.
    download(QStringLiteral("failed"), {at(2024, 3, 19, 10, 0)});
    EXPECT_EQ(proposedRange(*records, kSerial, now).value().start(), wallClock(QDate(2024, 3, 1), QTime(10, 0)));

    download(QStringLiteral("completed"), {at(2024, 3, 19, 10, 0)});
    EXPECT_EQ(proposedRange(*records, kSerial, now).value().start(), wallClock(QDate(2024, 3, 19), QTime(9, 45)));
}

// A server: the deletion holds the unit's row; the record's statement waits
// for it, then finds the unit gone and writes nothing.
TEST_F(RecordStoreTest, AUnitDeletedElsewhereWhileARecordIsStoredEndsItWithNothingHalfWritten)
{
    if (!onServerBackend())
        GTEST_SKIP() << "SQLite: the write lock decides, see the test below";
    ASSERT_TRUE(
        records->storeInterval(kSerial, interval(sampleInterval(at(2020, 6, 1, 0, 0)), IntervalLayout::From30)));
    // Another program deletes the unit as Store::deleteUnit does, its row first.
    auto other = home.openDatabase();
    QSqlQuery deleting(other->connection());
    ASSERT_TRUE(deleting.exec("BEGIN"));
    ASSERT_TRUE(deleting.exec(QStringLiteral("DELETE FROM \"Programacion\" WHERE \"LNumeroSerie\" = %1").arg(kSerial)));

    std::optional<Result<Stored>> stored;
    std::thread storing([&] {
        auto connection = home.openDatabase();
        RecordStore own(*connection);
        stored = own.storeInterval(kSerial, interval(sampleInterval(at(2020, 6, 1, 0, 15)), IntervalLayout::From30));
    });
    // Looked at from outside the deleting transaction, whose view of the
    // activity stays as it was: the record's statement waits on the lock.
    QSqlQuery waiting(db->connection());
    int waiters = 0;
    for (int i = 0; i < 500 && waiters == 0; ++i) {
        ASSERT_TRUE(waiting.exec("SELECT count(*) FROM pg_stat_activity WHERE datname = current_database() "
                                 "AND wait_event_type = 'Lock'")
                    && waiting.next());
        waiters = waiting.value(0).toInt();
        if (waiters == 0)
            QThread::msleep(10);
    }
    ASSERT_EQ(waiters, 1);
    ASSERT_TRUE(deleting.exec(QStringLiteral("DELETE FROM \"Intervalos\" WHERE \"LNumeroSerie\" = %1").arg(kSerial)));
    ASSERT_TRUE(deleting.exec("COMMIT"));
    storing.join();

    ASSERT_TRUE(stored.has_value());
    ASSERT_FALSE(*stored);
    EXPECT_EQ(databaseFailureOf(stored->error()).kind, DatabaseFailure::Kind::UnitGone);
    EXPECT_EQ(test::take(store->count("Intervalos")), 0);
    const Status totals = records->storeTotals(kSerial, TotalsReading{});
    ASSERT_FALSE(totals);
    EXPECT_EQ(databaseFailureOf(totals.error()).kind, DatabaseFailure::Kind::UnitGone);
}

// SQLite: a record's transaction holds the write lock from its start, so a
// deletion another program tries while it is open waits for the record
// (here: is refused at once) and the record is written whole; the deletion
// then goes through, and the next record finds the unit gone and writes
// nothing. A store that took the lock only at its write would let the
// deletion in between its look at the unit and its write.
TEST_F(RecordStoreTest, ADeletionElsewhereWaitsForTheRecordsTransactionThenEndsTheNextRecord)
{
    if (onServerBackend())
        GTEST_SKIP() << "a server holds the unit's row instead, see the test above";
    auto other = home.openDatabase();
    QSqlQuery deleting(other->connection());
    ASSERT_TRUE(deleting.exec("PRAGMA busy_timeout = 0"));
    const QString deleteUnit = QStringLiteral("DELETE FROM \"Programacion\" WHERE \"LNumeroSerie\" = %1").arg(kSerial);
    int opened = 0;
    bool deletionRefused = false;
    records->setTransactionOpenHook([&] {
        ++opened;
        QSqlQuery attempt(other->connection());
        deletionRefused = !attempt.exec(deleteUnit);
    });
    const Result<Stored> stored =
        records->storeInterval(kSerial, interval(sampleInterval(at(2020, 6, 1, 0, 0)), IntervalLayout::From30));
    EXPECT_EQ(opened, 1);
    EXPECT_TRUE(deletionRefused) << "another program changed the database inside the record's transaction";
    ASSERT_TRUE(stored) << stored.error().detail.toStdString();
    EXPECT_EQ(*stored, Stored::Added);
    EXPECT_EQ(test::take(store->count("Intervalos")), 1);

    records->setTransactionOpenHook(nullptr);
    ASSERT_TRUE(deleting.exec("BEGIN"));
    ASSERT_TRUE(deleting.exec(deleteUnit));
    ASSERT_TRUE(deleting.exec(QStringLiteral("DELETE FROM \"Intervalos\" WHERE \"LNumeroSerie\" = %1").arg(kSerial)));
    ASSERT_TRUE(deleting.exec("COMMIT"));
    const Result<Stored> late =
        records->storeInterval(kSerial, interval(sampleInterval(at(2020, 6, 1, 0, 15)), IntervalLayout::From30));
    ASSERT_FALSE(late);
    EXPECT_EQ(databaseFailureOf(late.error()).kind, DatabaseFailure::Kind::UnitGone);
    EXPECT_EQ(test::take(store->count("Intervalos")), 0);
    const Status totals = records->storeTotals(kSerial, TotalsReading{});
    ASSERT_FALSE(totals);
    EXPECT_EQ(databaseFailureOf(totals.error()).kind, DatabaseFailure::Kind::UnitGone);
}

TEST(StoredStamp, ReadsStoredDatesAndTimesAndRefusesOthers)
{
    EXPECT_EQ(storedStamp(QStringLiteral("2024-02-29"), QStringLiteral("23:55")),
              wallClock(QDate(2024, 2, 29), QTime(23, 55)));
    EXPECT_EQ(storedStamp(QDate(2024, 2, 29), QStringLiteral("07:05:00")), wallClock(QDate(2024, 2, 29), QTime(7, 5)));
    EXPECT_FALSE(storedStamp(QStringLiteral("2023-02-29"), QStringLiteral("10:00")).isValid());
    EXPECT_FALSE(storedStamp(QStringLiteral("2024-02-28"), QStringLiteral("24:00")).isValid());
    EXPECT_FALSE(storedStamp(QStringLiteral("2024-02-28"), QStringLiteral("9:5")).isValid());
    EXPECT_FALSE(storedStamp(QVariant(), QStringLiteral("10:00")).isValid());
}

TEST_F(RecordStoreTest, GridPagesAreReadByIdInTheOrderAskedAndAMisspeltColumnIsAnError)
{
    const QDateTime ends[] = {at(2024, 3, 1, 10, 15), at(2024, 3, 2, 9, 0), at(2024, 2, 28, 23, 45)};
    for (const QDateTime& end : ends)
        ASSERT_TRUE(records->storeInterval(kSerial, interval(sampleInterval(end), IntervalLayout::From30)));
    const QStringList start{QStringLiteral("DFechaInicio"), QStringLiteral("THoraInicio")};
    const auto newest = records->rowIds(RecordKind::Intervals, kSerial, start, true);
    ASSERT_TRUE(newest) << newest.error().detail.toStdString();
    ASSERT_EQ(newest->size(), 3u);
    const auto oldest = records->rowIds(RecordKind::Intervals, kSerial, start, false);
    ASSERT_TRUE(oldest);
    EXPECT_EQ(std::vector<qint64>(newest->rbegin(), newest->rend()), *oldest);

    // Asked out of order, with a row deleted since: each row in its place, the gone one empty.
    std::vector<qint64> ids{(*newest)[2], 999999, (*newest)[0]};
    const auto rows =
        records->rowsById(RecordKind::Intervals, {QStringLiteral("THoraInicio"), QStringLiteral("DFechaInicio")}, ids);
    ASSERT_TRUE(rows) << rows.error().detail.toStdString();
    ASSERT_EQ(rows->size(), 3u);
    const auto startOf = [](const QDateTime& end) {
        const QDateTime begun = end.addSecs(-15 * 60);
        return wallClock(begun.date(), begun.time());
    };
    EXPECT_EQ(storedStamp((*rows)[0][1], (*rows)[0][0]), startOf(ends[2]));
    EXPECT_TRUE((*rows)[1].isEmpty());
    EXPECT_EQ(storedStamp((*rows)[2][1], (*rows)[2][0]), startOf(ends[1]));

    const auto misspelt = records->rowsById(RecordKind::Intervals, {QStringLiteral("SLeqLocl")}, ids);
    ASSERT_FALSE(misspelt) << "a misspelt column was read as another";
    EXPECT_TRUE(misspelt.error().detail.contains(QLatin1String("SLeqLocl")));
    const auto badKey = records->rowIds(RecordKind::Sessions, kSerial, {QStringLiteral("DFecha")}, true);
    ASSERT_FALSE(badKey);
    EXPECT_TRUE(badKey.error().detail.contains(QLatin1String("DFecha")));
    EXPECT_EQ(databaseFailureOf(badKey.error()).kind, DatabaseFailure::Kind::Other);
}

// The texts the rows carry are written by hand for speed; they must read as
// QDate and QTime write them, up to the range ends and outside them.
TEST(RecordRows, DateAndTimeTextsAreThoseQtWrites)
{
    const QList<QDateTime> stamps{
        wallClock(QDate(2024, 3, 5), QTime(7, 9)),    wallClock(QDate(1999, 12, 31), QTime(23, 59)),
        wallClock(QDate(2155, 1, 1), QTime(0, 0)),    wallClock(QDate(1900, 10, 10), QTime(10, 10)),
        wallClock(QDate(999, 2, 3), QTime(4, 5)),     QDateTime(),
    };
    for (const QDateTime& at : stamps) {
        SCOPED_TRACE(at.toString(Qt::ISODate).toStdString());
        IntervalRecord r;
        r.start = at;
        r.end = at;
        r.stats.maxLeq1At = at;
        r.stats.minLeq1At = at;
        const Row row = intervalRow(52, r);
        const QString date = at.date().toString(QStringLiteral("dd/MM/yyyy"));
        const QString time = at.time().toString(QStringLiteral("hh:mm"));
        EXPECT_EQ(row.value(QStringLiteral("TFechaMaxLeq1min")).toString(), date);
        EXPECT_EQ(row.value(QStringLiteral("TFechaMinLeq1min")).toString(), date);
        for (const char* column : {"THoraInicio", "THoraFinal", "THoraMaxLeq1min", "THoraMinLeq1min"})
            EXPECT_EQ(row.value(QString::fromLatin1(column)).toString(), time) << column;
        EXPECT_EQ(eventRow(52, EventDate{EventKind::Erasure, at}).value(QStringLiteral("THora")).toString(), time);
    }
}

// A write that fails half way leaves neither its row nor its journal line,
// and the same store writes the next record whole: its transaction was
// rolled back and its statements are ready again.
TEST_F(RecordStoreTest, AFailedWriteLeavesNothingAndTheNextOneIsWrittenWhole)
{
    if (onServerBackend())
        GTEST_SKIP() << "a database file's read-only switch";
    Journal journal(*db);
    const auto entry = journal.open(JournalAction::Download, kSerial, QStringLiteral("cable"));
    ASSERT_TRUE(entry);
    records->setJournalEntry(&journal, *entry);
    const IntervalRecord first = interval(sampleInterval(at(2020, 6, 1, 0, 0)), IntervalLayout::From30);
    const IntervalRecord second = interval(sampleInterval(at(2020, 6, 1, 0, 15)), IntervalLayout::From30);
    ASSERT_TRUE(records->storeInterval(kSerial, first));
    const auto listed = [&] {
        QSqlQuery q(db->connection());
        q.prepare(QStringLiteral("SELECT count(*) FROM \"DiarioRegistros\" WHERE \"LEntrada\" = ?"));
        q.addBindValue(*entry);
        return q.exec() && q.next() ? q.value(0).toInt() : -1;
    };

    QSqlQuery(db->connection()).exec(QStringLiteral("PRAGMA query_only = ON"));
    const Result<Stored> refused = records->storeInterval(kSerial, second);
    ASSERT_FALSE(refused);
    EXPECT_EQ(databaseFailureOf(refused.error()).kind, DatabaseFailure::Kind::ReadOnly);
    EXPECT_TRUE(refused.error().detail.contains(QStringLiteral("readonly"))) << refused.error().detail.toStdString();
    QSqlQuery(db->connection()).exec(QStringLiteral("PRAGMA query_only = OFF"));
    EXPECT_EQ(test::take(store->count("Intervalos")), 1);
    EXPECT_EQ(listed(), 1) << "the refused record's journal line went with it";

    const Result<Stored> again = records->storeInterval(kSerial, second);
    ASSERT_TRUE(again) << again.error().detail.toStdString();
    EXPECT_EQ(*again, Stored::Added);
    EXPECT_EQ(*records->storeInterval(kSerial, first), Stored::Rewritten);
    EXPECT_EQ(test::take(store->count("Intervalos")), 2);
    EXPECT_EQ(listed(), 3);
    records->setJournalEntry(nullptr, 0);
    EXPECT_TRUE(journal.seal(*entry, QStringLiteral("completed"), {}, {}, {}));
}
