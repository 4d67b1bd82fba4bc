#include "db/database.h"
#include "db/schema.h"
#include "db/store.h"
#include "evidence/journal.h"
#include "evidence/journaled_merge.h"
#include "exchange/database_merge_workflow.h"
#include "i18n/translator.h"
#include "records/outcome_text.h"
#include "support/file_size_limit.h"
#include "support/folder_database.h"
#include "support/listed_records.h"
#include "support/private_server.h"
#include "support/result_checks.h"
#include "support/rows.h"
#include "support/temp_home.h"
#include "support/test_backend.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <QVariant>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tvq52;
using tvq52::test::countRows;
using tvq52::test::exec;
using tvq52::test::onServerBackend;
using tvq52::test::row;
using tvq52::test::TempHome;

namespace {

std::unique_ptr<Database> newDatabase(const QString& path)
{
    EXPECT_TRUE(test::succeeded(Database::createSqlite(path)));
    return test::take(Database::openSqlite(path));
}

void addUnit(Database& db, int serial, const QString& venue)
{
    Row row;
    row.set(QStringLiteral("LNumeroSerie"), serial);
    row.set(QStringLiteral("TLocal"), venue);
    ASSERT_TRUE(
        test::succeeded(insertRow(db.connection(), *schemaTable(QStringLiteral("Programacion")), row, db.dialect())));
}

void addEvent(Database& db, const char* table, int serial, const QString& day, const QString& time)
{
    Row row;
    row.set(QStringLiteral("LNumeroSerie"), serial);
    row.set(QStringLiteral("DFecha"), day);
    row.set(QStringLiteral("THora"), time);
    ASSERT_TRUE(test::succeeded(insertRow(db.connection(), *schemaTable(QString::fromLatin1(table)), row)));
}

const MergeTableCount& table(const MergeResult& r, const char* name)
{
    for (const MergeTableCount& t : r.tables)
        if (t.table == QLatin1String(name))
            return t;
    static const MergeTableCount none;
    ADD_FAILURE() << "no count for " << name;
    return none;
}

// The target is the data folder's database: a server in the suite's server run.
std::unique_ptr<Database> provisioned(const TempHome& home)
{
    home.provision();
    return home.openDatabase();
}

struct Pair {
    TempHome home;
    std::unique_ptr<Database> target = provisioned(home);
    std::unique_ptr<Database> source = newDatabase(home.file(QStringLiteral("other.db")));
    QString sourcePath() const { return source->path(); }
};

// The records the entry lists, each with the digest of its stored row.
qint64 listedFor(Database& db, qint64 entry)
{
    const QStringList listed = test::listedRecords(db, entry);
    EXPECT_TRUE(listed.filter(QStringLiteral("!")).isEmpty()) << listed.join(QLatin1Char('\n')).toStdString();
    return listed.size();
}

} // namespace

// A stop ends the merge where it is asked: into a file midway through a
// table's rows, which are rolled back; into a server before the next table.
// What was stored stays, the entry is sealed as stopped, and merging again
// brings the rest without a row twice.
TEST(DatabaseMerge, AStopRollsBackTheTableUnderWayAndKeepsTheTablesBefore)
{
    Pair p;
    exec(*p.source, QStringLiteral("WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 30000) "
                                   "INSERT INTO Programacion (LNumeroSerie) SELECT x FROM n"));
    const QString source = p.sourcePath();
    p.source.reset();
    int asked = 0;
    const MergeResult r = mergeDatabase(*p.target, source, {}, [&asked] { return ++asked >= 2; });
    EXPECT_TRUE(r.stopped());
    EXPECT_FALSE(r.failure.failed());
    EXPECT_FALSE(r.complete());
    const qint64 kept = onServerBackend() ? 30000 : 0;
    EXPECT_EQ(r.tables.size(), onServerBackend() ? 1 : 0);
    EXPECT_EQ(r.stoppedAt == QLatin1String("Programacion"), !onServerBackend()) << r.stoppedAt.toStdString();
    EXPECT_EQ(countRows(*p.target, QStringLiteral("SELECT count(*) FROM \"Programacion\"")), kept);
    const QList<JournalEntry> stopped = Journal(*p.target).entries().value();
    ASSERT_EQ(stopped.size(), 1);
    EXPECT_EQ(stopped[0].outcome, QStringLiteral("stopped"));
    // Written without a translator, its stop reads in the reader's language as the summary tells it.
    Translator english;
    english.foreignColumnName = QStringLiteral("English");
    ASSERT_TRUE(english.openLanguageDatabase(QStringLiteral(TVQ52_ASSET_DIR "/Language.db"), true, Translator::SqlDb));
    const QStringList read = journalMessageText(english, stopped[0]).split(QLatin1Char('\n'));
    ASSERT_EQ(read.size(), 2);
    EXPECT_EQ(read[0], QFileInfo(source).absoluteFilePath());
    EXPECT_NE(read[1], stopped[0].message.section(QLatin1Char('\n'), 1));
    EXPECT_TRUE(mergeSummaryText(english, source, r).split(QLatin1Char('\n')).contains(read[1]));

    const MergeResult rest = mergeDatabase(*p.target, source);
    EXPECT_TRUE(rest.complete());
    EXPECT_EQ(table(rest, "Programacion").added, 30000 - kept);
    EXPECT_EQ(countRows(*p.target, QStringLiteral("SELECT count(*) FROM \"Programacion\"")), 30000);
}

TEST(DatabaseMerge, AddsMissingRowsOnlyOnceAndKeepsExistingValues)
{
    Pair p;
    addUnit(*p.source, 1001, QStringLiteral("Sala Nova ª º € · d'Or; 2"));
    addUnit(*p.source, 1002, QStringLiteral("from the source"));
    addUnit(*p.target, 1002, QStringLiteral("kept in the target"));
    addEvent(*p.source, "DiaBorrado", 1001, QStringLiteral("2010-03-15"), QStringLiteral("10:30"));
    addEvent(*p.source, "DiaReprogramado", 1001, QStringLiteral("2010-03-16"), QStringLiteral("11:00"));
    p.source.reset(); // the other PC's file is closed, as a copied file would be

    const MergeResult first = mergeDatabase(*p.target, p.home.file(QStringLiteral("other.db")));
    ASSERT_TRUE(first.complete()) << first.countsText().toStdString();
    EXPECT_EQ(first.tables.size(), 7); // never Configuracion
    EXPECT_EQ(table(first, "Programacion").added, 1);
    EXPECT_EQ(table(first, "Programacion").present, 1);
    EXPECT_EQ(table(first, "DiaBorrado").added, 1);
    EXPECT_EQ(first.added(), 3);
    EXPECT_EQ(countRows(*p.target,
                        QStringLiteral("SELECT count(*) FROM \"Programacion\" WHERE \"LNumeroSerie\" = 1002 AND "
                                       "\"TLocal\" = 'kept in the target'")),
              1);
    EXPECT_EQ(countRows(*p.target,
                        QStringLiteral("SELECT count(*) FROM \"Programacion\" WHERE \"LNumeroSerie\" = 1001 AND "
                                       "\"TLocal\" = 'Sala Nova ª º € · d''Or; 2'")),
              1);

    const MergeResult second = mergeDatabase(*p.target, p.home.file(QStringLiteral("other.db")));
    ASSERT_TRUE(second.complete());
    EXPECT_EQ(second.added(), 0);
    EXPECT_EQ(table(second, "Programacion").present, 2);
    EXPECT_EQ(countRows(*p.target, QStringLiteral("SELECT count(*) FROM \"Programacion\"")), 2);
    EXPECT_EQ(countRows(*p.target, QStringLiteral("SELECT count(*) FROM \"DiaReprogramado\"")), 1);

    // Each merge leaves its own journal entry with its counts.
    const QList<JournalEntry> entries = Journal(*p.target).entries().value();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[1].action, JournalAction::Merge);
    EXPECT_TRUE(entries[1].message.endsWith(QLatin1String("other.db")));
    EXPECT_TRUE(entries[1].counts.contains(QLatin1String("Programacion: added 1, present 1, refused 0")))
        << entries[1].counts.toStdString();
    EXPECT_TRUE(entries[0].counts.contains(QLatin1String("DiaBorrado: added 0, present 1")));

    // The records added are the first merge's, with the file's SHA-256.
    QFile file(p.home.file(QStringLiteral("other.db")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(entries[1].source, QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex());
    JournalVerification v = Journal(*p.target).verify();
    EXPECT_TRUE(v.findings.isEmpty()) << v.findings.value(0).detail.toStdString();
    EXPECT_EQ(v.recordsChecked, 2);
    EXPECT_EQ(listedFor(*p.target, entries[1].id), 2);

    // A merge never adopts a row that was already there without provenance.
    ASSERT_TRUE(
        Store(*p.target).insert(QStringLiteral("DiaBorrado"),
                                row({{"LNumeroSerie", 1002}, {"DFecha", QDate(2011, 1, 1)}, {"THora", "08:00"}})));
    ASSERT_TRUE(mergeDatabase(*p.target, p.home.file(QStringLiteral("other.db"))).complete());
    v = Journal(*p.target).verify();
    ASSERT_EQ(v.findings.size(), 1);
    EXPECT_EQ(v.findings[0].kind, JournalFinding::Kind::NoProvenance);
}

TEST(DatabaseMerge, SettingsRowAndForeignTablesNeverArrive)
{
    Pair p;
    exec(*p.source, QStringLiteral("UPDATE Configuracion SET TUsuario = 'other office', ByCom = 7"));
    exec(*p.source, QStringLiteral("CREATE TABLE Extra (x INTEGER)"));
    exec(*p.source, QStringLiteral("INSERT INTO Extra VALUES (1)"));
    const MergeResult r = mergeDatabase(*p.target, p.sourcePath());
    ASSERT_TRUE(r.complete());
    if (onServerBackend()) {
        // Each PC keeps its settings row: a server has no such table, nor gets one.
        EXPECT_EQ(countRows(*p.target,
                            QStringLiteral("SELECT count(*) FROM information_schema.tables WHERE "
                                           "table_name IN ('Configuracion', 'Extra', 'extra')")),
                  0);
        return;
    }
    EXPECT_EQ(countRows(*p.target, QStringLiteral("SELECT count(*) FROM Configuracion")), 1);
    EXPECT_EQ(countRows(*p.target,
                        QStringLiteral("SELECT count(*) FROM Configuracion WHERE ByCom = 7 OR "
                                       "TUsuario = 'other office'")),
              0);
    EXPECT_EQ(countRows(*p.target, QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name = 'Extra'")), 0);
}

// Rows the target's columns cannot hold are counted, the rows around them still merged.
TEST(DatabaseMerge, RowsThatDoNotFitAreRefusedAndCounted)
{
    Pair p;
    // A hand-edited source: no checks on its columns.
    exec(*p.source, QStringLiteral("DROP TABLE DiaBorrado"));
    exec(*p.source, QStringLiteral("CREATE TABLE DiaBorrado (LNumeroSerie, DFecha, THora, Sobra)"));
    const char* rows[] = {
        "(5, '2011-01-01', '10:00', 'x')",     // fits: the extra column is dropped
        "('cinco', '2011-01-02', '10:00', 0)", // a text in a number column
        "(5, '2011-02-30', '10:00', 0)",       // no such day
        "(5, '2011-01-03', '10:00:00:00', 0)", // longer than the column
        "(NULL, '2011-01-04', '10:00', 0)",    // no key
        "(5, '2011-01-05', '11:00', 0)",       // fits
    };
    for (const char* row : rows)
        exec(*p.source, QStringLiteral("INSERT INTO DiaBorrado VALUES %1").arg(QString::fromLatin1(row)));
    // A source without one of the columns: it arrives empty.
    exec(*p.source, QStringLiteral("DROP TABLE DiaFinalBateria"));
    exec(*p.source, QStringLiteral("CREATE TABLE DiaFinalBateria (LNumeroSerie, DFecha)"));
    exec(*p.source, QStringLiteral("INSERT INTO DiaFinalBateria VALUES (5, '2011-01-01')"));

    // A venue too long for the column: counted present where the key is there.
    addUnit(*p.target, 40, QStringLiteral("kept"));
    exec(*p.source,
         QStringLiteral("INSERT INTO Programacion (LNumeroSerie, TLocal) VALUES (40, '%1'), (41, '%1')")
             .arg(QString(40, QLatin1Char('x'))));

    const MergeResult r = mergeDatabase(*p.target, p.sourcePath());
    ASSERT_TRUE(r.complete()) << r.countsText().toStdString();
    EXPECT_EQ(table(r, "Programacion").present, 1);
    EXPECT_EQ(table(r, "Programacion").refused, 1);
    EXPECT_EQ(table(r, "Programacion").added, 0);
    EXPECT_EQ(table(r, "DiaBorrado").read, 6);
    EXPECT_EQ(table(r, "DiaBorrado").added, 2);
    EXPECT_EQ(table(r, "DiaBorrado").refused, 4);
    EXPECT_EQ(table(r, "DiaBorrado").leftOut, QStringList{QStringLiteral("Sobra")}) << "a newer schema's column";
    EXPECT_TRUE(table(r, "Programacion").leftOut.isEmpty());
    EXPECT_EQ(countRows(*p.target,
                        QStringLiteral("SELECT count(*) FROM \"DiaBorrado\" WHERE \"LNumeroSerie\" = 5 AND "
                                       "\"DFecha\" IN ('2011-01-01', '2011-01-05')")),
              2);
    // The time is part of the key, so a row without it cannot be told apart.
    EXPECT_EQ(table(r, "DiaFinalBateria").refused, 1);
}

namespace {

// A server database has no file the source could be.
void expectOwnFileRefused(Pair& p)
{
    const QString link = p.home.file(QStringLiteral("link.db"));
    ASSERT_TRUE(QFile::link(p.target->path(), link));
    const QString hard = p.home.file(QStringLiteral("hard.db"));
    ASSERT_EQ(::link(p.target->path().toLocal8Bit().constData(), hard.toLocal8Bit().constData()), 0);
    for (const QString& own : {p.target->path(), link, hard, p.home.path() + QStringLiteral("/./tvq52.db")}) {
        const MergeResult r = mergeDatabase(*p.target, own);
        EXPECT_EQ(r.fault, MergeResult::Fault::OwnDatabase) << own.toStdString();
        EXPECT_FALSE(r.complete());
    }
}

} // namespace

TEST(DatabaseMerge, RefusesItsOwnDatabaseUnderAnyNameAndFilesNotOurs)
{
    Pair p;
    addUnit(*p.target, 7, QStringLiteral("own"));
    if (!onServerBackend())
        expectOwnFileRefused(p);

    p.home.writeFile(QStringLiteral("junk.db"), QByteArray("this is not a database at all, just text\n").repeated(50));
    EXPECT_EQ(mergeDatabase(*p.target, p.home.file(QStringLiteral("junk.db"))).fault, MergeResult::Fault::NotOurs);
    auto foreign = newDatabase(p.home.file(QStringLiteral("foreign.db")));
    exec(*foreign, QStringLiteral("DROP TABLE Programacion"));
    EXPECT_EQ(mergeDatabase(*p.target, foreign->path()).fault, MergeResult::Fault::NotOurs);
    EXPECT_EQ(mergeDatabase(*p.target, p.home.file(QStringLiteral("none.db"))).fault, MergeResult::Fault::Missing);
    const QString fifo = p.home.file(QStringLiteral("pipe.db"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& path : {p.home.path(), fifo, QStringLiteral("/dev/null")})
        EXPECT_EQ(mergeDatabase(*p.target, path).fault, MergeResult::Fault::NotARegularFile) << path.toStdString();
    EXPECT_EQ(countRows(*p.target, QStringLiteral("SELECT count(*) FROM \"Programacion\"")), 1);
    // Each attempt is journaled as failed and lists nothing.
    for (const QList<JournalEntry> all = Journal(*p.target).entries().value(); const JournalEntry& e : all) {
        EXPECT_EQ(e.action, JournalAction::Merge);
        EXPECT_EQ(e.outcome, QStringLiteral("failed"));
    }
    EXPECT_EQ(countRows(*p.target, QStringLiteral("SELECT count(*) FROM \"DiarioRegistros\"")), 0);
}

TEST(DatabaseMerge, AMissingTableIsToldAndTheOthersStillMerge)
{
    Pair p;
    addUnit(*p.source, 9, QStringLiteral("nine"));
    exec(*p.source, QStringLiteral("DROP TABLE Sesiones"));
    const MergeResult r = mergeDatabase(*p.target, p.sourcePath());
    EXPECT_FALSE(r.complete());
    EXPECT_FALSE(table(r, "Sesiones").error.isEmpty());
    EXPECT_EQ(table(r, "Programacion").added, 1);
    ASSERT_EQ(Journal(*p.target).entries().value().size(), 1);
    EXPECT_EQ(Journal(*p.target).entries().value()[0].outcome, QStringLiteral("failed"));
}

// More rows than one batch holds: units already there, and venues too long
// for the column among both the new and the present ones.
TEST(DatabaseMerge, ManyRowsCountExactlyAcrossBatches)
{
    Pair p;
    auto units = [](Database& db, int count, const char* venue) {
        exec(db,
             QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < %1) "
                            "INSERT INTO Programacion (LNumeroSerie, TLocal) SELECT i, %2 FROM n")
                 .arg(count)
                 .arg(QString::fromLatin1(venue)));
    };
    units(*p.source, 4500, "CASE WHEN i % 10 = 0 THEN printf('%040d', i) ELSE 'u' || i END");
    auto early = newDatabase(p.home.file(QStringLiteral("early.db")));
    units(*early, 1000, "'there first'");
    ASSERT_TRUE(mergeDatabase(*p.target, early->path()).complete());
    const MergeResult r = mergeDatabase(*p.target, p.sourcePath());
    ASSERT_TRUE(r.complete()) << r.countsText().toStdString();
    const MergeTableCount& t = table(r, "Programacion");
    EXPECT_EQ(t.read, 4500);
    EXPECT_EQ(t.present, 1000); // a too long venue of a present unit is still present
    EXPECT_EQ(t.refused, 350);
    EXPECT_EQ(t.added, 3150);
    EXPECT_EQ(countRows(*p.target,
                        QStringLiteral("SELECT count(*) FROM \"Programacion\" WHERE \"TLocal\" = "
                                       "'there first'")),
              1000);
    EXPECT_EQ(countRows(*p.target, QStringLiteral("SELECT count(*) FROM \"Programacion\" WHERE \"TLocal\" = 'u4499'")),
              1);
}

// A merged row passes the checks of an imported one: a key time that is no
// time would store the same moment twice ("1:05" beside "01:05"), and a level
// no single can hold means nothing.
TEST(DatabaseMerge, KeyTimesThatAreNotTimesAndLevelsNoSingleHoldsAreRefused)
{
    Pair p;
    addEvent(*p.target, "DiaBorrado", 5, QStringLiteral("2011-01-01"), QStringLiteral("01:05"));
    for (const char* time : {"1:05", "25:99", "1:5", "01:05", "02:00"})
        addEvent(*p.source, "DiaBorrado", 5, QStringLiteral("2011-01-01"), QString::fromLatin1(time));
    exec(*p.source,
         QStringLiteral("INSERT INTO Sesiones (LNumeroSerie, DFechaInicio, THoraInicio, DFechaFinal, THoraFinal, SLeq) "
                        "VALUES (5, '2011-01-01', '22:00', '2011-01-02', '01:00', 1e300), "
                        "(5, '2011-01-02', '22:00', '2011-01-03', '01:00', -1e300), "
                        "(5, '2011-01-03', '22:00', '2011-01-04', '24:30', 70.5), "
                        "(5, '2011-01-04', '22:00', '2011-01-05', '01:00', 70.5)"));
    const MergeResult r = mergeDatabase(*p.target, p.sourcePath());
    ASSERT_TRUE(r.complete()) << r.countsText().toStdString();
    EXPECT_EQ(table(r, "DiaBorrado").added, 1);
    EXPECT_EQ(table(r, "DiaBorrado").present, 1);
    EXPECT_EQ(table(r, "DiaBorrado").refused, 3);
    EXPECT_EQ(countRows(*p.target, QStringLiteral("SELECT count(*) FROM \"DiaBorrado\"")), 2);
    EXPECT_EQ(countRows(*p.target,
                        QStringLiteral("SELECT count(*) FROM \"DiaBorrado\" WHERE \"THora\" IN ('01:05', '02:00')")),
              2);
    EXPECT_EQ(table(r, "Sesiones").added, 1);
    EXPECT_EQ(table(r, "Sesiones").refused, 3);
}

// A target that cannot be written is not a refused row: the merge stops,
// before any table, and says why.
TEST(DatabaseMerge, ATargetThatCannotBeWrittenStopsTheMergeAndSaysWhy)
{
    Pair p;
    addUnit(*p.source, 77, QStringLiteral("seventy-seven"));
    addEvent(*p.source, "DiaBorrado", 77, QStringLiteral("2012-01-01"), QStringLiteral("10:00"));
    std::unique_ptr<tvq52::test::PrivateServer> server;
    std::unique_ptr<Database> target, holder;
    if (onServerBackend()) {
        server = std::make_unique<tvq52::test::PrivateServer>();
        target = server->open();
        ASSERT_TRUE(target);
        ASSERT_TRUE(server->halt());
    } else {
        // Another program holds the write lock longer than the merge waits.
        holder = p.home.openDatabase();
        exec(*holder, QStringLiteral("BEGIN IMMEDIATE"));
    }
    const MergeResult r = mergeDatabase(target ? *target : *p.target, p.sourcePath());
    EXPECT_FALSE(r.complete());
    EXPECT_EQ(r.failure.kind, onServerBackend() ? DatabaseFailure::Kind::ConnectionLost : DatabaseFailure::Kind::Locked)
        << r.failure.detail.toStdString();
    // The merge's journal entry is opened before any table, so the target's
    // failure stops it there: no table is merged, none is blamed.
    EXPECT_TRUE(r.tables.isEmpty());
    EXPECT_TRUE(r.failedTable.isEmpty());
    EXPECT_EQ(r.added(), 0);
    for (const MergeTableCount& t : r.tables)
        EXPECT_TRUE(t.error.isEmpty()) << "not a table that could not be read: " << t.table.toStdString();
    if (holder)
        exec(*holder, QStringLiteral("ROLLBACK"));
    if (server) {
        ASSERT_TRUE(server->resume());
    }
    Database& check = server ? *target : *p.target;
    if (server) {
        ASSERT_TRUE(test::succeeded(check.ensureConnected()));
    }
    EXPECT_EQ(countRows(check, QStringLiteral("SELECT count(*) FROM \"Programacion\"")), 0);
    // Once the database is usable the same merge brings everything.
    EXPECT_TRUE(mergeDatabase(check, p.sourcePath()).complete());
    EXPECT_EQ(countRows(check, QStringLiteral("SELECT count(*) FROM \"DiaBorrado\"")), 1);
}

// A disk that fills during the merge: the table being merged is rolled back.
TEST(DatabaseMerge, AFullDiskStopsTheMergeAndKeepsNothingOfTheTable)
{
    if (onServerBackend())
        GTEST_SKIP() << "the server's disk is not ours to fill";
    Pair p;
    exec(*p.source,
         QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < 20000) "
                        "INSERT INTO DiaBorrado (LNumeroSerie, DFecha, THora) "
                        "SELECT 9, date('2000-01-01', '+' || i || ' days'), '10:00' FROM n"));
    // The log starts again from nothing, so its first pages already grow it.
    exec(*p.target, QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    const qint64 room =
        std::max(QFileInfo(p.target->path()).size(), QFileInfo(p.target->path() + QStringLiteral("-wal")).size())
        + 16 * 1024;
    MergeResult r;
    {
        const tvq52::test::FileSizeLimit full{rlim_t(room)};
        r = mergeDatabase(*p.target, p.sourcePath());
    }
    EXPECT_FALSE(r.complete());
    EXPECT_TRUE(r.failure.kind == DatabaseFailure::Kind::DiskFull || r.failure.kind == DatabaseFailure::Kind::DiskError)
        << r.failure.detail.toStdString();
    EXPECT_EQ(r.failedTable, QStringLiteral("DiaBorrado"));
    EXPECT_EQ(countRows(*p.target, QStringLiteral("SELECT count(*) FROM \"DiaBorrado\"")), 0);
}

namespace {

void addSession(Database& db, const char* day, const char* start, const QString& leq, const QString& night)
{
    exec(db,
         QStringLiteral("INSERT INTO Sesiones (LNumeroSerie, DFechaInicio, THoraInicio, SLeq, THoraInicioNoche) "
                        "VALUES (5, '%1', '%2', %3, %4)")
             .arg(QLatin1String(day), QLatin1String(start), leq, night));
}

} // namespace

// Each row is looked at once: what it added, found or refused adds up to what
// it read, and the journal lists exactly the rows added.
TEST(DatabaseMerge, OnePassCountsEveryKindOfRowAndListsOnlyWhatItAdds)
{
    Pair p;
    // Two sessions the target has from an earlier merge.
    auto early = newDatabase(p.home.file(QStringLiteral("early.db")));
    addSession(*early, "2011-01-01", "22:00", QStringLiteral("60.0"), QStringLiteral("NULL"));
    addSession(*early, "2011-01-02", "22:00", QStringLiteral("60.0"), QStringLiteral("NULL"));
    ASSERT_TRUE(mergeDatabase(*p.target, early->path()).complete());

    // A hand-made source: no checks on its columns, and fewer of them.
    exec(*p.source, QStringLiteral("DROP TABLE Sesiones"));
    exec(*p.source,
         QStringLiteral("CREATE TABLE Sesiones (LNumeroSerie, DFechaInicio, THoraInicio, SLeq, THoraInicioNoche)"));
    addSession(*p.source, "2011-01-01", "22:00", QStringLiteral("70.5"), QStringLiteral("'23:00'")); // other values
    addSession(*p.source, "2011-01-02", "22:00", QStringLiteral("1e300"), QStringLiteral("NULL"));   // there, unfit
    addSession(*p.source, "2011-01-03", "22:00", QStringLiteral("71.5"), QStringLiteral("'23:00'")); // new
    addSession(*p.source, "2011-01-04", "22:00", QStringLiteral("1e300"), QStringLiteral("NULL"));   // new, unfit
    addSession(*p.source, "2011-01-05", "2:00", QStringLiteral("70.0"), QStringLiteral("NULL"));     // key no time
    addSession(*p.source, "2011-01-06", "22:00", QStringLiteral("70.0"), QStringLiteral("CAST(X'C328' AS TEXT)"));
    addSession(*p.source, "2011-01-07", "22:00", QStringLiteral("-3.25"), QStringLiteral("'ñu'")); // new

    const MergeResult first = mergeDatabase(*p.target, p.sourcePath());
    ASSERT_TRUE(first.complete()) << first.countsText().toStdString();
    const MergeTableCount& s = table(first, "Sesiones");
    EXPECT_EQ(s.read, 7);
    EXPECT_EQ(s.added, 2);
    EXPECT_EQ(s.present, 2);
    EXPECT_EQ(s.refused, 3);
    EXPECT_EQ(countRows(*p.target,
                        QStringLiteral("SELECT count(*) FROM \"Sesiones\" WHERE \"SLeq\" = 60 AND "
                                       "\"THoraInicioNoche\" IS NULL")),
              2);
    EXPECT_EQ(
        countRows(*p.target, QStringLiteral("SELECT count(*) FROM \"Sesiones\" WHERE \"THoraInicioNoche\" = 'ñu'")), 1);
    const QList<JournalEntry> entries = Journal(*p.target).entries().value();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(listedFor(*p.target, entries[0].id), 2);
    JournalVerification v = Journal(*p.target).verify();
    EXPECT_TRUE(v.findings.isEmpty()) << v.findings.value(0).detail.toStdString();
    EXPECT_EQ(v.recordsChecked, 4);

    // Again: nothing added, nothing listed, every key that is there found.
    const MergeResult second = mergeDatabase(*p.target, p.sourcePath());
    ASSERT_TRUE(second.complete()) << second.countsText().toStdString();
    EXPECT_EQ(table(second, "Sesiones").added, 0);
    EXPECT_EQ(table(second, "Sesiones").present, 4);
    EXPECT_EQ(table(second, "Sesiones").refused, 3);
    EXPECT_EQ(listedFor(*p.target, Journal(*p.target).entries().value()[0].id), 0);
    EXPECT_TRUE(Journal(*p.target).verify().findings.isEmpty());
}

// Rows of every kind of value, listed with digests the journal's check
// finds again from the stored rows, on either backend.
TEST(DatabaseMerge, TheJournalListsTheStoredRowsOfEveryKindOfValue)
{
    Pair p;
    exec(*p.source,
         QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < 300) "
                        "INSERT INTO Intervalos SELECT 7, date('2019-01-01', '+' || i || ' days'), NULL, i % 256, "
                        "i / 7.0, 1.001953125 * i, CASE WHEN i % 3 = 0 THEN 'Año' ELSE 'L' || i END, "
                        "NULL, 0, 255, -i * 0.125, '2019-01-01', '10:00', 1e-5 * i, NULL, NULL, 3.5e30, 95, "
                        "-i, 90.0, 88.0, 85.0, 80.0, 70.0, i % 2, -(i % 2), 0, 32767, -32768, 0, 0, 0, 0, "
                        "printf('%02d:%02d', i % 24, i % 60), '23:59' FROM n"));
    const MergeResult r = mergeDatabase(*p.target, p.sourcePath());
    ASSERT_TRUE(r.complete()) << r.countsText().toStdString();
    EXPECT_EQ(table(r, "Intervalos").added, 300);
    const JournalVerification v = Journal(*p.target).verify();
    EXPECT_TRUE(v.findings.isEmpty()) << v.findings.value(0).detail.toStdString();
    EXPECT_EQ(v.recordsChecked, 300);
}

// The server goes away between two tables: the merge stops there as a
// failure, the tables before stay merged, and merging again completes it.
TEST(DatabaseMerge, AServerGoneMidMergeStopsItAsAFailure)
{
    if (!onServerBackend())
        GTEST_SKIP() << "a file does not go away; its full disk is tested above";
    Pair p;
    addUnit(*p.source, 31, QStringLiteral("thirty-one"));
    addEvent(*p.source, "DiaBorrado", 31, QStringLiteral("2012-01-01"), QStringLiteral("10:00"));
    const qint64 backend = countRows(*p.target, QStringLiteral("SELECT pg_backend_pid()"));
    std::unique_ptr<Database> admin = p.home.openDatabase();
    const MergeResult r = mergeDatabase(*p.target, p.sourcePath(), [&](const QString&, int index, int) {
        if (index == 2)
            exec(*admin, QStringLiteral("SELECT pg_terminate_backend(%1)").arg(backend));
    });
    EXPECT_FALSE(r.complete());
    EXPECT_EQ(r.failure.kind, DatabaseFailure::Kind::ConnectionLost) << r.failure.detail.toStdString();
    EXPECT_EQ(r.failedTable, QStringLiteral("Intervalos"));
    ASSERT_EQ(r.tables.size(), 3);
    EXPECT_EQ(table(r, "Programacion").added, 1);
    EXPECT_EQ(r.added(), 1);

    ASSERT_TRUE(test::succeeded(p.target->ensureConnected()));
    EXPECT_EQ(countRows(*p.target, QStringLiteral("SELECT count(*) FROM \"DiaBorrado\"")), 0);
    const MergeResult again = mergeDatabase(*p.target, p.sourcePath());
    ASSERT_TRUE(again.complete()) << again.countsText().toStdString();
    EXPECT_EQ(table(again, "Programacion").present, 1);
    EXPECT_EQ(table(again, "DiaBorrado").added, 1);
}

// A hand-made source may hold a key twice: the first row is added and
// listed once, the second is counted as present; a row that does not fit
// is refused. A table without rowids is checked and counted the same way.
TEST(DatabaseMerge, AKeyTwiceInTheSourceIsAddedAndListedOnce)
{
    Pair p;
    exec(*p.source, QStringLiteral("DROP TABLE DiaBorrado"));
    exec(*p.source, QStringLiteral("CREATE TABLE DiaBorrado (LNumeroSerie, DFecha, THora)"));
    exec(*p.source,
         QStringLiteral("INSERT INTO DiaBorrado VALUES (5, '2011-01-01', '10:00'), "
                        "(5, '2011-01-02', '10:00'), (5, '2011-01-01', '10:00'), (5, '2011-01-03', '25:00')"));
    exec(*p.source, QStringLiteral("DROP TABLE DiaFinalBateria"));
    exec(*p.source, QStringLiteral("CREATE TABLE DiaFinalBateria (LNumeroSerie, DFecha, THora, "
                                   "PRIMARY KEY (LNumeroSerie, DFecha, THora)) WITHOUT ROWID"));
    exec(*p.source,
         QStringLiteral("INSERT INTO DiaFinalBateria VALUES (6, '2011-01-01', '10:00'), (6, '2011-01-01', '25:00')"));
    const MergeResult r = mergeDatabase(*p.target, p.sourcePath());
    ASSERT_TRUE(r.complete()) << r.countsText().toStdString();
    EXPECT_EQ(table(r, "DiaBorrado").added, 2);
    EXPECT_EQ(table(r, "DiaBorrado").present, 1);
    EXPECT_EQ(table(r, "DiaBorrado").refused, 1);
    EXPECT_EQ(table(r, "DiaFinalBateria").added, 1);
    EXPECT_EQ(table(r, "DiaFinalBateria").refused, 1);
    EXPECT_EQ(listedFor(*p.target, Journal(*p.target).entries().value()[0].id), 3);
    const JournalVerification v = Journal(*p.target).verify();
    EXPECT_TRUE(v.findings.isEmpty()) << v.findings.value(0).detail.toStdString();
}

// More rows than a server stores at once while the next are read: each is
// added and listed once, and so when the source holds a key again far on,
// after the rows before it were stored.
TEST(DatabaseMerge, ManyRowsAreAddedOnceThoughAKeyComesAgainFarOn)
{
    const int rows = 120000;
    for (const int again : {-1, 70000}) {
        SCOPED_TRACE(again);
        Pair p;
        exec(*p.source, QStringLiteral("DROP TABLE DiaBorrado"));
        exec(*p.source, QStringLiteral("CREATE TABLE DiaBorrado (LNumeroSerie, DFecha, THora)"));
        const QString days = QStringLiteral(
            "WITH RECURSIVE n(i) AS (SELECT %1 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < %2) "
            "INSERT INTO DiaBorrado SELECT i / 3650 + 1, date('2000-01-01', '+' || (i % 3650) || ' days'), "
            "'10:00' FROM n");
        exec(*p.source, days.arg(0).arg(again < 0 ? rows : again));
        if (again >= 0) {
            exec(*p.source, QStringLiteral("INSERT INTO DiaBorrado SELECT * FROM DiaBorrado WHERE rowid = 5"));
            exec(*p.source, days.arg(again).arg(rows));
        }
        const MergeResult r = mergeDatabase(*p.target, p.sourcePath());
        ASSERT_TRUE(r.complete()) << r.countsText().toStdString();
        EXPECT_EQ(table(r, "DiaBorrado").added, rows);
        EXPECT_EQ(table(r, "DiaBorrado").present, again < 0 ? 0 : 1);
        EXPECT_EQ(countRows(*p.target, QStringLiteral("SELECT count(*) FROM \"DiaBorrado\"")), rows);
        const JournalVerification v = Journal(*p.target).verify();
        EXPECT_TRUE(v.findings.isEmpty()) << v.findings.value(0).detail.toStdString();
        EXPECT_EQ(v.recordsChecked, rows);
    }
}

// The rows are stored, but an entry left unsealed is no success to report.
TEST(DatabaseMerge, AnEntryThatCannotBeSealedMakesTheMergeFailWithItsCountsKept)
{
    Pair p;
    if (p.target->isServer())
        GTEST_SKIP() << "the refusing trigger is written for SQLite";
    addUnit(*p.source, 1001, QStringLiteral("sealed elsewhere"));
    p.source.reset();
    exec(*p.target, QStringLiteral("CREATE TRIGGER refuse_seal BEFORE UPDATE OF \"TResultado\" ON \"Diario\" "
                                   "BEGIN SELECT RAISE(ABORT, 'no seal today'); END"));
    const MergeResult r = mergeDatabase(*p.target, p.home.file(QStringLiteral("other.db")));
    EXPECT_FALSE(r.complete());
    EXPECT_THAT(r.sealError.toStdString(), ::testing::HasSubstr("no seal today"));
    EXPECT_EQ(table(r, "Programacion").added, 1);
    EXPECT_EQ(test::take(Store(*p.target).count(QStringLiteral("Programacion"))), 1);
}
