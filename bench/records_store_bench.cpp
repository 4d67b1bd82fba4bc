// CPU time of storing one downloaded interval in a database that already
// holds a million of them: a new key, a key stored before, and a new key
// listed in an open journal entry.
#include "bench_database.h"
#include "bench_journaled.h"
#include "db/database.h"
#include "db/store.h"
#include "evidence/journal.h"
#include "records/record_store.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include "bench_support.h"

using namespace tvq52;

namespace {

using bench::intervalAt;

constexpr qint32 kSerial = 52001;
// A million in a full run; set before the database is filled.
int storedCount = 1000000;

const QDateTime kFirst = wallClock(QDate(2018, 1, 1), QTime(0, 0));

struct Filled {
    QTemporaryDir dir;
    std::unique_ptr<Database> db;

    Filled()
    {
        const QString path = dir.filePath(QStringLiteral("tvq52.db"));
        db = bench::freshDatabase(path);
        // The store keeps records only of a unit it knows.
        Row unit;
        unit.set(QStringLiteral("LNumeroSerie"), kSerial);
        if (!Store(*db).insert(QStringLiteral("Programacion"), unit))
            qFatal("cannot store the unit");
        const TableDef& table = *schemaTable(QStringLiteral("Intervalos"));
        const Row sample = intervalRow(kSerial, intervalAt(kFirst));
        QStringList names, marks;
        for (const QString& c : sample.columns()) {
            names << quoteIdentifier(c);
            marks << QStringLiteral("?");
        }
        QSqlDatabase c = db->connection();
        c.transaction();
        QSqlQuery insert(c);
        insert.prepare(QStringLiteral("INSERT INTO \"Intervalos\" (%1) VALUES (%2)")
                           .arg(names.join(QLatin1Char(',')), marks.join(QLatin1Char(','))));
        for (int i = 0; i < storedCount; ++i) {
            const Row row = intervalRow(kSerial, intervalAt(kFirst.addSecs(120LL * i)));
            for (int k = 0; k < row.columns().size(); ++k)
                insert.bindValue(k, toStorage(*table.column(row.columns()[k]), row.values()[k], SqlDialect::SQLite));
            if (!insert.exec())
                qFatal("%s", qPrintable(insert.lastError().text()));
        }
        c.commit();
        journalAll();
        std::fprintf(stderr, "%d intervals stored\n", storedCount);
    }

    // Listed in one import entry, so that verifying hashes every record as
    // it would a database filled by downloads.
    void journalAll()
    {
        Journal journal(*db);
        const Result<qint64> entry = journal.open(JournalAction::Import, 0, QStringLiteral("bench"));
        QSqlDatabase c = db->connection();
        if (!entry || !c.transaction())
            qFatal("cannot open the journal entry");
        bench::must(Journal::addRowsAfter(c, *entry, QStringLiteral("Intervalos"), 0));
        if (!c.commit() || !journal.seal(*entry, QStringLiteral("completed"), {}))
            qFatal("cannot seal the journal entry");
    }
};

Filled* filled = nullptr;

void StoreNewInterval(benchmark::State& state)
{
    RecordStore store(*filled->db);
    static qint64 next = storedCount;
    for (auto _ : state) {
        const auto stored = store.storeInterval(kSerial, intervalAt(kFirst.addSecs(120 * next++)));
        if (!stored || *stored != Stored::Added)
            state.SkipWithError(stored ? "not added" : qPrintable(stored.error().detail));
    }
}
BENCHMARK(StoreNewInterval)->Iterations(2000);

void StoreRewrittenInterval(benchmark::State& state)
{
    RecordStore store(*filled->db);
    qint64 i = 0;
    for (auto _ : state) {
        // Spread over the whole table, as an overlapping download would be.
        const auto stored =
            store.storeInterval(kSerial, intervalAt(kFirst.addSecs(120 * ((i++ * 7919) % storedCount))));
        if (!stored || *stored != Stored::Rewritten)
            state.SkipWithError(stored ? "not rewritten" : qPrintable(stored.error().detail));
    }
}
BENCHMARK(StoreRewrittenInterval)->Iterations(2000);

void StoreNewIntervalJournaled(benchmark::State& state)
{
    Journal journal(*filled->db);
    const auto entry = journal.open(JournalAction::Download, kSerial, QStringLiteral("cable"));
    RecordStore store(*filled->db);
    store.setJournalEntry(&journal, entry ? *entry : 0);
    static qint64 next = 2 * storedCount;
    for (auto _ : state) {
        const auto stored = store.storeInterval(kSerial, intervalAt(kFirst.addSecs(120 * next++)));
        if (!stored || *stored != Stored::Added)
            state.SkipWithError(stored ? "not added" : qPrintable(stored.error().detail));
    }
    (void)journal.seal(entry ? *entry : 0, QStringLiteral("completed"), {});
}
BENCHMARK(StoreNewIntervalJournaled)->Iterations(2000);

void VerifyJournal(benchmark::State& state)
{
    Journal journal(*filled->db);
    for (auto _ : state) {
        const JournalVerification v = journal.verify(kSerial);
        if (v.recordsChecked < storedCount)
            state.SkipWithError("not every record was checked");
    }
}
BENCHMARK(VerifyJournal)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    std::unique_ptr<Filled> data;
    // What a download costs on the PC must stay far below the line's pace
    // (one interval record every few milliseconds at 19200 bit/s).
    return bench::runBenchmarks(argc, argv,
                                [&] {
                                    storedCount = bench::verdict().size(1000000, 20000);
                                    data = std::make_unique<Filled>();
                                    filled = data.get();
                                },
                                {{"StoreNewInterval", "cpu_us", 200},
                                 {"StoreRewrittenInterval", "cpu_us", 300},
                                 {"StoreNewIntervalJournaled", "cpu_us", 300},
                                 {"VerifyJournal", "real_ms", 30000}});
}
