#include "db/database.h"
#include "db/store.h"
#include "evidence/journal.h"
#include "i18n/translator.h"
#include "link/exchange_session.h"
#include "link/frame.h"
#include "records/download_workflow.h"
#include "records/record_store.h"
#include "records/records_view.h"
#include "support/folder_database.h"
#include "support/memory_unit.h"
#include "support/private_server.h"
#include "support/result_checks.h"
#include "support/rows.h"
#include "support/scripted_prompter.h"
#include "support/temp_home.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <chrono>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <thread>

using namespace tvq52;
using test::row;
using tvq52::test::FolderDatabaseTest;

namespace {

const QDateTime kHistoryEnd(QDate(2024, 3, 15), QTime(10, 0)); // the virtual clock's "now"

// The recorded-data window as the workflow sees it, keeping what it was told.
class RecordingView : public RecordsView {
public:
    qint32 shownSerial() const override { return shown; }
    std::optional<DownloadRange> chooseRange(const DownloadRange& p) override
    {
        proposal = p;
        ++picked;
        if (cancelPicker)
            return std::nullopt;
        return chosen.value_or(p);
    }
    bool showUnit(qint32 serial) override
    {
        switchedTo << serial;
        shown = serial;
        return true;
    }
    void showFirmware(const QString& f) override { firmware = f; }
    void showTotals(const TotalsReading& t) override { totals = t; }
    void ToggleButtons() override { ++toggles; }
    void downloadFinished() override { ++finished; }

    qint32 shown = 0;
    std::optional<DownloadRange> chosen;
    bool cancelPicker = false;
    std::optional<DownloadRange> proposal;
    int picked = 0;
    QList<qint32> switchedTo;
    QString firmware;
    std::optional<TotalsReading> totals;
    int toggles = 0;
    int finished = 0;
};

// A download against the simulated unit in this process.
class Download : public FolderDatabaseTest, protected test::MemoryUnit {
protected:
    void storeUnit(qint32 serial, const QString& firmware)
    {
        ASSERT_TRUE(test::succeeded(store->insert(
            QStringLiteral("Programacion"), row({{"LNumeroSerie", serial}, {"TVersion", firmware}, {"ByTLeq", 15}}))));
    }

    // Unit `serial` stored, shown and on the line, all with firmware 4.0.
    void onLine(qint32 serial = 4711, const QStringList& more = {})
    {
        storeUnit(serial, QStringLiteral("4.0"));
        view.shown = serial;
        connectUnit(QString::number(serial), QStringLiteral("4.0"), more);
    }

    // The unit on the line: tvq52-sim's options, two days of history.
    void connectUnit(const QString& serial, const QString& firmware, const QStringList& more = {})
    {
        const QString refused = connect(QStringList{"--serial", serial, "--firmware", firmware, "--days", "2"} + more);
        ASSERT_TRUE(refused.isEmpty()) << refused.toStdString();
        // As the user's Stop would, right after the record is acknowledged.
        unit->onAcknowledged([this](const QByteArray&) {
            if (++acks == stopAtAck)
                workflow->stop();
            if (acks == actAtAck && atAck)
                atAck();
        });
    }

    DownloadReport download()
    {
        prompter.clear();
        line.clearWritten();
        acks = 0;
        workflow = std::make_unique<DownloadWorkflow>(session, prompter, translator, *db, view);
        return workflow->run();
    }

    qint64 rows(const char* table, qint32 serial) const
    {
        return test::take(store->count(QString::fromLatin1(table), row({{"LNumeroSerie", serial}})));
    }
    QList<Row> intervals(qint32 serial) const
    {
        return test::take(store->select(QStringLiteral("Intervalos"), row({{"LNumeroSerie", serial}})));
    }
    static QString key(const QDateTime& start) { return start.toString(QStringLiteral("yyyy-MM-dd HH:mm")); }
    static QString key(const Row& r)
    {
        return r.value(QStringLiteral("DFechaInicio")).toDate().toString(Qt::ISODate) + QLatin1Char(' ')
            + r.value(QStringLiteral("THoraInicio")).toString();
    }

    ExchangeSession session{{}, line, clock, kDownloadSilenceLimitMs};
    test::ScriptedPrompter prompter;
    Translator translator;
    RecordingView view;
    std::unique_ptr<DownloadWorkflow> workflow;
    int acks = 0;
    int stopAtAck = -1;
    // Something done elsewhere right after that acknowledgement.
    int actAtAck = -1;
    std::function<void()> atAck;
};

class FullDownload : public Download, public ::testing::WithParamInterface<const char*> {};

// Another program holding the database file's write lock (BEGIN IMMEDIATE
// on its own connection) for a while, from a thread of its own.
class WriteLockHolder {
public:
    WriteLockHolder(const QString& path, std::chrono::milliseconds hold)
    {
        std::promise<bool> held;
        auto taken = held.get_future();
        thread_ = std::thread([path, hold, held = std::move(held)]() mutable {
            const QString name = QUuid::createUuid().toString();
            {
                QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
                other.setDatabaseName(path);
                QSqlQuery q(other);
                const bool ok = other.open() && q.exec(QStringLiteral("BEGIN IMMEDIATE"));
                held.set_value(ok);
                if (ok) {
                    std::this_thread::sleep_for(hold);
                    q.exec(QStringLiteral("COMMIT"));
                }
                q = QSqlQuery();
                other.close();
            }
            QSqlDatabase::removeDatabase(name);
        });
        locked_ = taken.get();
    }
    ~WriteLockHolder() { thread_.join(); }
    bool locked() const { return locked_; }

private:
    std::thread thread_;
    bool locked_ = false;
};

} // namespace

TEST_P(FullDownload, StoresWhatTheUnitServedAndASecondRunAddsNothing)
{
    const QString firmware = QString::fromLatin1(GetParam());
    storeUnit(4711, firmware);
    view.shown = 4711;
    connectUnit(QStringLiteral("4711"), firmware);

    const DownloadReport first = download();
    ASSERT_EQ(first.outcome, DownloadOutcome::Completed) << prompter.catalogueIds().size();
    EXPECT_EQ(prompter.catalogueIds(), (QList<int>{15, 61}));
    EXPECT_EQ(Journal(*db).entries(4711).value().value(0).messageNumber, 61) << "told again in each reader's language";
    EXPECT_EQ(key(view.proposal->start()), key(kHistoryEnd.addDays(-60))) << "nothing stored: 60 days back";
    EXPECT_EQ(view.toggles, 2);
    EXPECT_EQ(view.finished, 1);
    EXPECT_TRUE(view.switchedTo.isEmpty());

    // Every interval the unit holds, by its key, with the values it sent.
    const int leq = history.intervals.front().leqMinutes;
    QHash<QString, Row> stored;
    for (const Row& r : intervals(4711))
        stored.insert(key(r), r);
    ASSERT_EQ(stored.size(), history.intervals.size());
    for (const sim::IntervalRecord& h : history.intervals) {
        const QString k = key(h.end.addSecs(-60 * leq));
        ASSERT_TRUE(stored.contains(k)) << k.toStdString();
        const Row& r = stored[k];
        EXPECT_EQ(r.value(QStringLiteral("IDesco")).toInt(), h.disconnections) << k.toStdString();
        EXPECT_EQ(r.value(QStringLiteral("ByNivelLeqLocal")).toInt(), h.limitVenue);
        if (h.sensorInactive == 0 && h.leqVenue >= 600 && h.leqVenue <= 1200) {
            EXPECT_FLOAT_EQ(r.value(QStringLiteral("SLeqLocal")).toFloat(), float(h.leqVenue) / 10.0f);
        }
        if (firmware.startsWith(QLatin1Char('4')))
            EXPECT_EQ(r.value(QStringLiteral("ByDNA")).toInt(), h.dnaMinutes);
        else
            EXPECT_TRUE(r.value(QStringLiteral("ByDNA")).isNull()) << "the older layout has none";
    }
    EXPECT_EQ(rows("Sesiones", 4711), history.sessions.size());
    EXPECT_EQ(rows("DiaBorrado", 4711), history.erasures.size());
    EXPECT_EQ(rows("DiaFinalBateria", 4711), history.batteryEnds.size());
    const auto unitRow = test::take(store->selectOne(QStringLiteral("Programacion"), row({{"LNumeroSerie", 4711}})));
    EXPECT_EQ(unitRow->value(QStringLiteral("LPasadasLocal")).toInt(), history.totalPassesVenue);
    EXPECT_EQ(first.counts[int(RecordKind::Intervals)].added, history.intervals.size());
    EXPECT_EQ(first.counts[int(RecordKind::Sessions)].added, history.sessions.size());

    // The same range again rewrites every row and adds none.
    const QStringList tables{"Intervalos", "Sesiones", "DiaBorrado", "DiaFinalBateria", "DiaReprogramado"};
    QList<qint64> before;
    for (const QString& t : tables)
        before << test::take(store->count(t));
    view.chosen = DownloadRange::from(view.proposal->start(), view.proposal->end());
    const DownloadReport second = download();
    ASSERT_EQ(second.outcome, DownloadOutcome::Completed);
    for (int k = 0; k < tables.size(); ++k)
        EXPECT_EQ(test::take(store->count(tables[k])), before[k]) << tables[k].toStdString();
    for (RecordKind kind : {RecordKind::Intervals, RecordKind::Sessions, RecordKind::Erasures}) {
        EXPECT_EQ(second.counts[int(kind)].added, 0);
        EXPECT_EQ(second.counts[int(kind)].rewritten, first.counts[int(kind)].added);
    }

    // Both entries sealed and chained; the records verify.
    const Journal journal(*db);
    EXPECT_EQ(journal.entries(4711).value().size(), 2);
    EXPECT_EQ(second.journalHead, journal.head().value());
    EXPECT_NE(first.journalHead, second.journalHead);
    EXPECT_TRUE(journal.verify().findings.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Layouts, FullDownload, ::testing::Values("2.5", "4.0"));

TEST_F(Download, RecordsThatFailTheirChecksAreCountedAndSkipped)
{
    storeUnit(4711, QStringLiteral("4.0"));
    view.shown = 4711;
    // Frames: 1 identification, 2 totals, 3 event dates, then the intervals.
    const int intervalFrames = 2 * 24 * 4 + 1;
    connectUnit(QStringLiteral("4711"), QStringLiteral("4.0"),
                {"--fault", "level-1401:5", "--fault", "short-record:6", "--fault",
                 QStringLiteral("damaged:%1").arg(3 + intervalFrames + 1)});
    const DownloadReport r = download();
    ASSERT_EQ(r.outcome, DownloadOutcome::Completed);
    const KindCounts& i = r.counts[int(RecordKind::Intervals)];
    EXPECT_EQ(i.refused, 2);
    EXPECT_EQ(i.received, history.intervals.size());
    EXPECT_EQ(rows("Intervalos", 4711), history.intervals.size() - 2);
    EXPECT_EQ(r.counts[int(RecordKind::Sessions)].refused, 1);
    EXPECT_EQ(rows("Sesiones", 4711), history.sessions.size() - 1);
    // The refused ones are the second and third newest.
    const int leq = history.intervals.front().leqMinutes;
    QStringList keys;
    for (const Row& row : intervals(4711))
        keys << key(row);
    for (int back = 1; back <= 3; ++back)
        EXPECT_EQ(keys.contains(key(history.intervals.at(history.intervals.size() - back).end.addSecs(-60 * leq))),
                  back == 1)
            << back;
}

TEST_F(Download, NothingIsAskedOfAnUnknownUnitNorWithoutAUnitOrARange)
{
    // No unit shown: 28, and not even the picker.
    DownloadReport r = download();
    EXPECT_EQ(r.outcome, DownloadOutcome::NotStarted);
    EXPECT_EQ(prompter.catalogueIds(), QList<int>{28});
    EXPECT_EQ(view.picked, 0);

    storeUnit(5678, QStringLiteral("4.0"));
    view.shown = 5678;
    view.cancelPicker = true;
    r = download();
    EXPECT_EQ(r.outcome, DownloadOutcome::NotStarted);
    EXPECT_TRUE(prompter.shown().isEmpty());
    EXPECT_EQ(view.toggles, 0);
    EXPECT_EQ(line.openCount(), 0);

    view.cancelPicker = false;
    connectUnit(QStringLiteral("4711"), QStringLiteral("4.0"));
    r = download();
    EXPECT_EQ(r.outcome, DownloadOutcome::Failed);
    EXPECT_EQ(r.serial, 4711);
    EXPECT_EQ(prompter.catalogueIds(), (QList<int>{15, 29}));
    EXPECT_TRUE(prompter.shown().at(1).text.endsWith(QStringLiteral("4711")));
    EXPECT_EQ(line.written().toHex(' '), "18 02 00 06 01 03 06") << "the CAN and the identification only";
    EXPECT_EQ(view.toggles, 2);
    EXPECT_TRUE(view.switchedTo.isEmpty());
    EXPECT_EQ(test::take(store->count(QStringLiteral("Intervalos"))), 0);
    // The failed attempt is in the journal, with the unit that answered and why.
    const QList<JournalEntry> entries = Journal(*db).entries().value();
    ASSERT_EQ(entries.size(), 1) << "neither the cancelled picker nor the missing unit leaves an entry";
    EXPECT_EQ(entries[0].serial, 4711);
    EXPECT_EQ(entries[0].outcome, QStringLiteral("failed"));
    EXPECT_TRUE(entries[0].sealed());
    EXPECT_EQ(entries[0].message, prompter.shown().at(1).text);
    EXPECT_EQ(entries[0].messageNumber, 0) << "the serial was added to the catalogue text: kept as told";
}

TEST_F(Download, AnotherUnitOnTheLineIsShownAndReadFromItsOwnNewestInterval)
{
    // 5678 is shown with an interval newer than anything of 1234's.
    storeUnit(5678, QStringLiteral("4.0"));
    storeUnit(1234, QStringLiteral("4.0"));
    ASSERT_TRUE(
        store->insert(QStringLiteral("Intervalos"), test::spanRow(5678, kHistoryEnd.addSecs(-15 * 60), kHistoryEnd)));
    const QDateTime newest1234 = kHistoryEnd.addDays(-1).addSecs(-15 * 60);
    ASSERT_TRUE(store->insert(QStringLiteral("Intervalos"), test::spanRow(1234, newest1234, kHistoryEnd.addDays(-1))));
    view.shown = 5678;
    connectUnit(QStringLiteral("1234"), QStringLiteral("4.0"));
    const DownloadReport r = download();
    ASSERT_EQ(r.outcome, DownloadOutcome::Completed);
    EXPECT_EQ(key(view.proposal->start()), key(QDateTime(kHistoryEnd.date(), QTime(9, 45))))
        << "the shown unit's proposal";
    EXPECT_EQ(view.switchedTo, QList<qint32>{1234});

    // Down to the first whose end (the stamp the list is keyed by) is before that start.
    int newer = 0;
    for (const sim::IntervalRecord& h : history.intervals)
        newer += h.end >= newest1234;
    EXPECT_EQ(newer, 4 * 24 + 2);
    EXPECT_EQ(r.counts[int(RecordKind::Intervals)].received, newer);
    EXPECT_EQ(r.counts[int(RecordKind::Intervals)].rewritten, 1);
    EXPECT_EQ(rows("Intervalos", 1234), newer);
    EXPECT_EQ(rows("Intervalos", 5678), 1);
}

TEST_F(Download, AnUpgradedUnitIsReadInTheLayoutItReports)
{
    storeUnit(4711, QStringLiteral("2.5"));
    view.shown = 4711;
    connectUnit(QStringLiteral("4711"), QStringLiteral("3.0"));
    const DownloadReport r = download();
    ASSERT_EQ(r.outcome, DownloadOutcome::Completed);
    EXPECT_EQ(r.firmware, "3.0");
    EXPECT_EQ(view.firmware, "3.0");
    const auto unitRow = test::take(store->selectOne(QStringLiteral("Programacion"), row({{"LNumeroSerie", 4711}})));
    EXPECT_EQ(unitRow->value(QStringLiteral("TVersion")).toString(), "3.0");
    EXPECT_EQ(r.counts[int(RecordKind::Intervals)].refused, 0);
    EXPECT_EQ(rows("Intervalos", 4711), history.intervals.size());
    int withDna = 0;
    for (const Row& row : intervals(4711))
        withDna += !row.value(QStringLiteral("ByDNA")).isNull();
    EXPECT_EQ(withDna, history.intervals.size());
}

TEST_F(Download, StopDuringEitherListEndsWithoutSuccessAndKeepsWhatArrived)
{
    onLine();
    view.chosen = DownloadRange::from(kHistoryEnd.addDays(-60), kHistoryEnd.addSecs(60));
    ASSERT_GE(history.sessions.size(), 2);
    // Stop pressed as the 10th interval is acknowledged, then as the first session is.
    for (int stopAt : {10, int(history.intervals.size()) + 1}) {
        stopAtAck = stopAt;
        const DownloadReport r = download();
        EXPECT_EQ(r.outcome, DownloadOutcome::Stopped);
        EXPECT_FALSE(prompter.catalogueIds().contains(61));
        EXPECT_EQ(line.written().right(2).toHex(' '), "06 18") << "the unit is told to stop";
        const int intervalsRead = r.counts[int(RecordKind::Intervals)].received;
        const int sessionsRead = r.counts[int(RecordKind::Sessions)].received;
        EXPECT_EQ(intervalsRead + sessionsRead, stopAt);
        EXPECT_EQ(sessionsRead, stopAt == 10 ? 0 : 1);
        EXPECT_EQ(rows("Sesiones", 4711), sessionsRead);
        EXPECT_GE(rows("Intervalos", 4711), intervalsRead);
        const QList<JournalEntry> entries = Journal(*db).entries(4711).value();
        ASSERT_FALSE(entries.isEmpty());
        EXPECT_EQ(entries.front().outcome, "stopped");
        // Nothing was shown for the stop, yet the entry says what happened.
        EXPECT_EQ(entries.front().message, QStringLiteral("Descarga parada: lo recibido hasta ahora está guardado."));
        EXPECT_EQ(entries.front().messageArguments, QStringList{entries.front().message}) << "its native text";
    }
    EXPECT_FALSE(session.link().stopRequested()) << "the next download starts afresh";
}

TEST_F(Download, ASilentUnitEndsTheListWith31AfterFifteenSecondsKeepingEarlierRecords)
{
    // Frame 10 is the seventh interval.
    onLine(4711, {"--fault", "silent:10"});
    qint64 sixthAckMs = -1;
    unit->onAcknowledged([&](const QByteArray&) {
        if (++acks == 6)
            sixthAckMs = clock.elapsedMs();
    });
    const DownloadReport r = download();
    EXPECT_EQ(r.outcome, DownloadOutcome::Failed);
    EXPECT_EQ(prompter.catalogueIds(), (QList<int>{15, 31}));
    const qint64 waited = clock.elapsedMs() - sixthAckMs;
    EXPECT_GE(waited, 15000);
    EXPECT_LT(waited, 15100);
    EXPECT_EQ(rows("Intervalos", 4711), 6);
    EXPECT_EQ(line.written().right(1).toHex(), "18");
}

TEST_F(Download, ADatabaseFailureStopsTheListWithItsReasonAndKeepsWhatWasCommitted)
{
    onLine();
    QSqlQuery refuse(db->connection());
    if (test::onServerBackend()) {
        ASSERT_TRUE(
            refuse.exec(QStringLiteral("CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS "
                                       "$$BEGIN RAISE EXCEPTION 'disk says no'; END$$")))
            << refuse.lastError().text().toStdString();
        ASSERT_TRUE(refuse.exec(QStringLiteral(
            "CREATE TRIGGER refuse BEFORE INSERT ON \"Sesiones\" FOR EACH ROW EXECUTE FUNCTION refuse()")))
            << refuse.lastError().text().toStdString();
    } else {
        ASSERT_TRUE(refuse.exec(QStringLiteral(
            "CREATE TRIGGER refuse BEFORE INSERT ON Sesiones BEGIN SELECT RAISE(ABORT, 'disk says no'); END")))
            << refuse.lastError().text().toStdString();
    }
    const DownloadReport r = download();
    EXPECT_EQ(r.outcome, DownloadOutcome::Failed);
    ASSERT_EQ(prompter.shown().size(), 2);
    EXPECT_TRUE(prompter.shown().at(1).text.contains(QStringLiteral("disk says no")));
    EXPECT_EQ(prompter.shown().at(1).style, MessageStyle::Critical);
    EXPECT_EQ(rows("Intervalos", 4711), history.intervals.size());
    EXPECT_EQ(rows("Sesiones", 4711), 0);
    EXPECT_EQ(line.written().right(1).toHex(), "18") << "the session is not acknowledged";
    EXPECT_TRUE(Journal(*db).entries(4711).value().front().message.contains(QStringLiteral("disk says no")));
}

TEST_F(Download, AUnitDeletedOnAnotherPcEndsTheDownloadSayingSoWithNothingHalfWritten)
{
    onLine();
    auto otherPc = home.openDatabase();
    actAtAck = 20;
    atAck = [&] { ASSERT_TRUE(Store(*otherPc).deleteUnit(4711)); };
    const DownloadReport r = download();

    EXPECT_EQ(r.outcome, DownloadOutcome::Failed);
    EXPECT_EQ(prompter.catalogueIds(), (QList<int>{15, 0})) << "no transmission error";
    ASSERT_FALSE(prompter.shown().isEmpty());
    EXPECT_EQ(prompter.shown().back().text,
              QStringLiteral("La unidad 4711 se ha borrado desde otro puesto: la descarga termina sin guardar más"));
    EXPECT_EQ(line.written().right(1).toHex(), "18") << "the unit is told to stop";
    for (const char* table : {"Programacion", "Intervalos", "Sesiones", "DiaBorrado", "DiaFinalBateria"})
        EXPECT_EQ(rows(table, 4711), 0) << table;
    const QList<JournalEntry> entries = Journal(*db).entries(4711).value();
    ASSERT_FALSE(entries.isEmpty());
    EXPECT_EQ(entries.front().outcome, QStringLiteral("failed"));
    EXPECT_EQ(entries.front().message, prompter.shown().back().text);
}

TEST_F(Download, AServerThatGoesAwayEndsTheDownloadSayingSoAndTheNextOneReconnects)
{
    if (!test::onServerBackend())
        GTEST_SKIP() << "a server run only";
    test::PrivateServer server;
    store.reset();
    db = server.open();
    ASSERT_TRUE(db);
    store = std::make_unique<Store>(*db);
    onLine();
    actAtAck = 20;
    atAck = [&] { ASSERT_TRUE(server.halt()); };
    const DownloadReport lost = download();

    EXPECT_EQ(lost.outcome, DownloadOutcome::Failed);
    EXPECT_EQ(prompter.catalogueIds(), (QList<int>{15, 0})) << "no transmission error";
    ASSERT_FALSE(prompter.shown().isEmpty());
    EXPECT_TRUE(
        prompter.shown().back().text.startsWith(QStringLiteral("Se ha perdido la conexión con la base de datos")))
        << prompter.shown().back().text.toStdString();
    EXPECT_EQ(line.written().right(1).toHex(), "18") << "the unit is told to stop";

    // While the server is away a download says so before asking the unit anything.
    const DownloadReport away = download();
    EXPECT_EQ(away.outcome, DownloadOutcome::Failed);
    EXPECT_TRUE(line.written().isEmpty());

    ASSERT_TRUE(server.resume());
    // Every acknowledged interval is there.
    {
        auto check = server.open();
        ASSERT_TRUE(check);
        EXPECT_EQ(test::take(Store(*check).count(QStringLiteral("Intervalos"))), 20);
    }
    atAck = nullptr;
    const DownloadReport next = download();
    ASSERT_EQ(next.outcome, DownloadOutcome::Completed) << prompter.shown().back().text.toStdString();
    EXPECT_EQ(rows("Intervalos", 4711), history.intervals.size());
    const Journal journal(*db);
    const QList<JournalEntry> entries = journal.entries(4711).value();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[1].outcome, QStringLiteral("interrupted")) << "its program's session ended with the server";
    EXPECT_TRUE(journal.verify().findings.isEmpty());
}

// The unit stores a session only once it has ended: one under way at a
// download arrives with the next routine one, whose interval range starts
// after that session began. The picker keeps proposing the interval range.
TEST_F(Download, ASessionUnderWayAtADownloadArrivesWithTheNextRoutineOne)
{
    storeUnit(4711, QStringLiteral("4.0"));
    view.shown = 4711;
    const sim::RecordedHistory full = sim::generateHistory({52, 2, 15, kHistoryEnd});
    ASSERT_GE(full.sessions.size(), 2);
    const sim::SessionRecord running = full.sessions.back();
    ASSERT_GT(running.start.secsTo(running.end), 3600);
    // An hour into the newest session; sessions start on a quarter hour.
    const QDateTime unitClock = running.start.addSecs(3600);
    connectUnit(QStringLiteral("4711"), QStringLiteral("4.0"),
                {"--clock", unitClock.toString(QStringLiteral("yyyy-MM-ddTHH:mm"))});
    ASSERT_EQ(history.sessions.size(), full.sessions.size() - 1);
    const DownloadReport first = download();
    ASSERT_EQ(first.outcome, DownloadOutcome::Completed);
    EXPECT_EQ(rows("Sesiones", 4711), full.sessions.size() - 1);

    // The unit the next morning: that session has ended.
    connectUnit(QStringLiteral("4711"), QStringLiteral("4.0"));
    const DownloadReport second = download();
    ASSERT_EQ(second.outcome, DownloadOutcome::Completed);
    EXPECT_EQ(key(view.proposal->start()), key(unitClock.addSecs(-15 * 60))) << "the newest stored interval";
    const auto stored =
        test::take(store->selectOne(QStringLiteral("Sesiones"),
                                    row({{"LNumeroSerie", 4711},
                                         {"DFechaInicio", running.start.date()},
                                         {"THoraInicio", running.start.toString(QStringLiteral("HH:mm"))}})));
    ASSERT_TRUE(stored) << "the session that was running";
    EXPECT_EQ(stored->value(QStringLiteral("DFechaFinal")).toDate(), running.end.date());
    EXPECT_EQ(rows("Sesiones", 4711), full.sessions.size());
    const KindCounts& sessions = second.counts[int(RecordKind::Sessions)];
    EXPECT_EQ(sessions.added, 1);
    EXPECT_EQ(sessions.rewritten, 1) << "read from the newest stored session on";
    EXPECT_TRUE(Journal(*db).verify().findings.isEmpty());
}

TEST(SessionListStart, FromTheNewestStoredSessionOrADayBeforeTheIntervalStart)
{
    const QDateTime intervals = wallClock(QDate(2024, 3, 15), QTime(1, 45));
    const QDateTime dayBefore = wallClock(QDate(2024, 3, 14), QTime(1, 45));
    EXPECT_EQ(sessionListStart(intervals, std::nullopt), dayBefore) << "none stored";
    const QDateTime older = wallClock(QDate(2024, 3, 12), QTime(21, 30));
    EXPECT_EQ(sessionListStart(intervals, older), older);
    EXPECT_EQ(sessionListStart(intervals, wallClock(QDate(2024, 3, 14), QTime(22, 0))), dayBefore);
    // Never before the first day a request can name.
    EXPECT_EQ(sessionListStart(wallClock(QDate(1950, 1, 1), QTime(10, 0)), std::nullopt),
              wallClock(QDate(1950, 1, 1), QTime(0, 0)));
    EXPECT_TRUE(requestCarries(sessionListStart(wallClock(QDate(1950, 1, 1), QTime(10, 0)), std::nullopt)));
}

// A download never stores a record outside its journal entry: it waits for
// another program's write as long as the busy timeout allows, and otherwise
// does not start, saying why.
TEST_F(Download, AnotherProgramsWriteLockIsWaitedForOrTheDownloadDoesNotStart)
{
    if (test::onServerBackend())
        GTEST_SKIP() << "the file's write lock";
    onLine();
    {
        const WriteLockHolder briefly(db->path(), std::chrono::milliseconds(1500));
        ASSERT_TRUE(briefly.locked());
        const DownloadReport r = download();
        ASSERT_EQ(r.outcome, DownloadOutcome::Completed) << prompter.shown().back().text.toStdString();
        EXPECT_NE(r.journalEntry, 0);
    }
    const JournalVerification v = Journal(*db).verify();
    EXPECT_TRUE(v.findings.isEmpty());
    EXPECT_EQ(v.recordsNotJournaled, 0);
    EXPECT_EQ(rows("Intervalos", 4711), history.intervals.size());

    onLine(4712);
    const WriteLockHolder tooLong(db->path(), std::chrono::milliseconds(6500));
    ASSERT_TRUE(tooLong.locked());
    const DownloadReport r = download();
    EXPECT_EQ(r.outcome, DownloadOutcome::Failed);
    EXPECT_EQ(r.journalEntry, 0);
    EXPECT_EQ(prompter.catalogueIds(), (QList<int>{15, 0}));
    EXPECT_TRUE(prompter.shown().back().text.startsWith(
        QStringLiteral("No se puede abrir la entrada de la descarga en el diario de intercambios (")))
        << prompter.shown().back().text.toStdString();
    EXPECT_EQ(prompter.shown().back().style, MessageStyle::Critical);
    EXPECT_EQ(line.written().toHex(' '), "18 02 00 06 01 03 06 18") << "nothing asked, the unit told to stop";
    for (const char* table : {"Intervalos", "Sesiones", "DiaBorrado", "DiaFinalBateria", "DiaReprogramado"})
        EXPECT_EQ(rows(table, 4712), 0) << table;
    const auto unitRow = test::take(store->selectOne(QStringLiteral("Programacion"), row({{"LNumeroSerie", 4712}})));
    EXPECT_TRUE(unitRow->value(QStringLiteral("DFechaTotales")).isNull()) << "no totals stored";
}

TEST(ListTimeLeft, ComesFromHowFarTheRecordsStampsHaveCome)
{
    const QDateTime start = wallClock(QDate(2024, 3, 13), QTime(10, 0));
    const QDateTime first = wallClock(QDate(2024, 3, 15), QTime(10, 0));
    // A day of a two-day list in 3 s: another 3 s.
    EXPECT_EQ(listMsLeft(start, first, first.addDays(-1), 3000), 3000);
    EXPECT_EQ(listMsLeft(start, first, first.addSecs(-12 * 3600), 3000), 9000);
    // However far back the range reaches, only what is left of it counts.
    EXPECT_EQ(listMsLeft(start.addDays(-58), first, first.addDays(-1), 3000), 177000);
    // At or past the start: nothing left.
    EXPECT_EQ(listMsLeft(start, first, start, 6000), 0);
    EXPECT_EQ(listMsLeft(start, first, start.addSecs(-900), 6000), 0);
    // One stamp, no time yet, or stamps out of order tell nothing.
    EXPECT_FALSE(listMsLeft(start, first, first, 3000));
    EXPECT_FALSE(listMsLeft(start, first, first.addDays(-1), 0));
    EXPECT_FALSE(listMsLeft(start, first, first.addDays(1), 3000));
    EXPECT_FALSE(listMsLeft(QDateTime(), first, first.addDays(-1), 3000));
}
