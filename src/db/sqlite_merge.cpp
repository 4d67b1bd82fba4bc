#include "db/merge_tables.h"
#include "db/sqlite_row_sink.h"

#include "db/database.h"
#include "db/fleet_tables.h"
#include "db/merge_functions.h"
#include "db/packed_line_writer.h"
#include "db/packed_lines.h"
#include "db/schema.h"
#include "db/sqlite_statement.h"

#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUuid>
#include <optional>
#include <sqlite3.h>

// SQLite's hook before a row is written: the library is built with it, its
// header declares it only when asked.
extern "C" {
void* sqlite3_preupdate_hook(sqlite3* db,
                             void (*hook)(void* context, sqlite3* db, int op, const char* database, const char* table,
                                          sqlite3_int64 oldRow, sqlite3_int64 newRow),
                             void* context);
int sqlite3_preupdate_new(sqlite3* db, int column, sqlite3_value** value);
}

namespace tvq52 {

namespace {

const QString kSource = QStringLiteral("merge_source");

// Run on the connection itself: Qt keeps no result code of a failed commit.
bool execSqlite(QSqlDatabase& db, const char* sql, DatabaseFailure& failure)
{
    const SqliteStep step = sqliteExec(sqliteHandle(db), sql);
    if (step.failed())
        failure = step.databaseFailure();
    return !step.failed();
}

QStringList sourceColumnNames(QSqlDatabase& db, const QString& table)
{
    QStringList names;
    QSqlQuery q(db);
    if (q.exec(QStringLiteral("PRAGMA %1.table_info(%2)").arg(kSource, quoteIdentifier(table))))
        while (q.next())
            names << q.value(1).toString();
    return names;
}

QSet<QString> sourceColumns(QSqlDatabase& db, const QString& table)
{
    QSet<QString> names;
    for (const QString& name : sourceColumnNames(db, table))
        names.insert(name.toCaseFolded());
    return names;
}

// The statements that merge one table into a file. A file of this program
// goes in at once, each row checked and made ready for the journal by
// tvq52_merge_list as the insert reads it. Otherwise the source's rows are
// first read once to be checked; the rows that pass go in unless their key
// is there, the others are only looked up to be counted present. A source
// table without rowids is checked in the insert itself.
struct SqliteMergeSql {
    QString listing;   // the rows that fit, each kept for the hook as read
    QString check;     // the rowid and values of each source row
    QString unchecked; // every row, when all of them fit
    QString byRowid;   // the rows tvq52_merge_fits lets through
    QString checking;  // every row, checked as it goes
};

SqliteMergeSql sqliteMergeSql(const TableDef& t, const QString& sourceName, const QSet<QString>& present)
{
    const QString target = QStringLiteral("main.") + quoteIdentifier(QString::fromUtf8(t.name));
    QStringList columns, values, keyMatch;
    for (const ColumnDef& c : t.columns) {
        const QString name = quoteIdentifier(QString::fromUtf8(c.name));
        const QString value = present.contains(QString::fromUtf8(c.name).toCaseFolded()) ? QStringLiteral("s.") + name
                                                                                         : QStringLiteral("NULL");
        columns << name;
        values << value;
        if (t.isKey(c))
            keyMatch << QStringLiteral("t.%1 = %2").arg(name, value);
    }
    const QString from = QStringLiteral("%1.%2 s").arg(kSource, quoteIdentifier(sourceName));
    const QString insert = QStringLiteral("INSERT OR IGNORE INTO %1 (%2) SELECT %3 FROM %4")
                               .arg(target, columns.join(QLatin1String(", ")), values.join(QLatin1String(", ")), from);
    const QString where = QStringLiteral(" WHERE CASE %1 WHEN 1 THEN 1 ELSE tvq52_merge_present(EXISTS (SELECT 1 FROM "
                                         "%2 t WHERE %3)) END")
                              .arg(QStringLiteral("%1"), target, keyMatch.join(QLatin1String(" AND ")));
    SqliteMergeSql sql;
    // Only the source is read before each row is stored: a statement that
    // read the target too would gather every row before storing the first.
    sql.listing = insert + QStringLiteral(" WHERE %1 = 1").arg(MergeFunctions::call("tvq52_merge_list", t, values));
    sql.check = QStringLiteral("SELECT s.rowid, %1 FROM %2").arg(values.join(QLatin1String(", ")), from);
    sql.unchecked = insert;
    sql.byRowid = insert + where.arg(QStringLiteral("tvq52_merge_fits(s.rowid)"));
    sql.checking = insert + where.arg(MergeFunctions::call("tvq52_merge_row", t, values));
    return sql;
}

// Where each column of `t` sits in the file's own table, which an older
// file may have grown column by column; empty when one is missing.
std::vector<int> storedPlaces(sqlite3* db, const TableDef& t)
{
    QStringList names;
    SqliteStatement info;
    if (!info.prepare(db, QStringLiteral("PRAGMA main.table_info(%1)").arg(quoteIdentifier(QString::fromUtf8(t.name))))
             .failed())
        while (info.step().row())
            names << QString::fromUtf8(info.text(1));
    std::vector<int> places;
    for (const ColumnDef& c : t.columns) {
        int found = -1;
        for (int i = 0; i < names.size() && found < 0; ++i)
            if (names[i].compare(QString::fromUtf8(c.name), Qt::CaseInsensitive) == 0)
                found = i;
        if (found < 0)
            return {};
        places.push_back(found);
    }
    return places;
}

// SQLite's affinity of a declared column type, by its rules of names.
char affinityOf(const QString& declared)
{
    const QString type = declared.toUpper();
    if (type.contains(QLatin1String("INT")))
        return 'i';
    if (type.contains(QLatin1String("CHAR")) || type.contains(QLatin1String("CLOB"))
        || type.contains(QLatin1String("TEXT")))
        return 't';
    if (type.isEmpty() || type.contains(QLatin1String("BLOB")))
        return 'b';
    if (type.contains(QLatin1String("REAL")) || type.contains(QLatin1String("FLOA"))
        || type.contains(QLatin1String("DOUB")))
        return 'r';
    return 'n';
}

// Each column's affinity, by its case-folded name.
QHash<QString, char> columnAffinities(sqlite3* db, const QString& schema, const QString& table)
{
    QHash<QString, char> affinities;
    SqliteStatement info;
    if (!info.prepare(db, QStringLiteral("PRAGMA %1.table_info(%2)").arg(schema, quoteIdentifier(table))).failed())
        while (info.step().row())
            affinities.insert(QString::fromUtf8(info.text(1)).toCaseFolded(), affinityOf(QString::fromUtf8(info.text(2))));
    return affinities;
}

// Whether every column the source shares with `t` converts values as the
// file's own does: then a value stored is the value read, and the hook may
// check rows as the check read would.
bool sameAffinities(sqlite3* db, const TableDef& t, const QString& sourceName)
{
    const QHash<QString, char> source = columnAffinities(db, kSource, sourceName);
    const QHash<QString, char> own = columnAffinities(db, QStringLiteral("main"), QString::fromUtf8(t.name));
    for (const ColumnDef& c : t.columns) {
        const QString name = QString::fromUtf8(c.name).toCaseFolded();
        if (source.contains(name) && source.value(name) != own.value(name, '?'))
            return false;
    }
    return !source.isEmpty();
}

// Lists the rows an INSERT stores, as it stores them: SQLite's hook before
// each row it writes never sees a row left out for its key, so no row is
// read back. Lines may not be written from the hook: they wait in the
// packer. Either the insert's own tvq52_merge_list kept the row just read
// (`listed`), or the hook reads the values as kept (after the column's
// affinity). A listed row not there when its write comes (SQLite gathered
// the rows first) fails the listing, and the caller takes the other way.
class AddedRows {
public:
    AddedRows(sqlite3* db, const TableDef& t, MergeFunctions& functions, std::vector<int> places, bool listed)
        : db_(db), table_(t), functions_(functions), places_(std::move(places)), values_(places_.size()),
          listed_(listed)
    {
        for (const char* k : t.key)
            for (size_t c = 0; c < t.columns.size(); ++c)
                if (qstrcmp(t.columns[c].name, k) == 0)
                    keyPlaces_.push_back(c);
        keyValues_.resize(keyPlaces_.size());
        sqlite3_preupdate_hook(db_, &AddedRows::hook, this);
    }
    ~AddedRows() { sqlite3_preupdate_hook(db_, nullptr, nullptr); }
    AddedRows(const AddedRows&) = delete;
    AddedRows& operator=(const AddedRows&) = delete;

    qint64 listed() const { return count_; }
    bool failed() const { return failed_; }
    packed_lines::Packer& packer() { return packer_; }

private:
    static void hook(void* self, sqlite3* db, int op, const char* database, const char* table, sqlite3_int64,
                     sqlite3_int64)
    {
        auto& rows = *static_cast<AddedRows*>(self);
        if (op == SQLITE_INSERT && rows.ours(database, table))
            rows.add(db);
    }

    // SQLite names a table by the same text row after row: the names are
    // compared again only when another comes.
    bool ours(const char* database, const char* table)
    {
        if (database != database_ || table != tableName_) {
            database_ = database;
            tableName_ = table;
            ours_ = qstrcmp(database, "main") == 0 && qstricmp(table, table_.name) == 0;
        }
        return ours_;
    }

    void add(sqlite3* db)
    {
        if (failed_)
            return;
        if (listed_) {
            failed_ = !functions_.hasListed();
            if (!failed_) {
                const unsigned char* digest = functions_.takeListed();
                packer_.add(table_.name, functions_.listedKey(), digest);
                ++count_;
            }
            return;
        }
        for (size_t c = 0; c < places_.size(); ++c)
            if (sqlite3_preupdate_new(db, places_[c], &values_[c]) != SQLITE_OK)
                failed_ = true;
        if (failed_)
            return;
        for (size_t k = 0; k < keyPlaces_.size(); ++k)
            keyValues_[k] = values_[keyPlaces_[k]];
        const unsigned char* digest = functions_.rawDigest(table_, values_.data());
        packer_.add(table_.name, functions_.keyText(table_, keyValues_.data()), digest);
        ++count_;
    }

    sqlite3* db_;
    const TableDef& table_;
    const char* database_ = nullptr;
    const char* tableName_ = nullptr;
    bool ours_ = false;
    MergeFunctions& functions_;
    std::vector<int> places_;
    std::vector<size_t> keyPlaces_;
    std::vector<sqlite3_value*> values_, keyValues_;
    packed_lines::Packer packer_;
    qint64 count_ = 0;
    bool failed_ = false;
    bool listed_;
};

// A stop asked for while SQLite works: the statement under way is
// interrupted, and the table's transaction with it.
class StopWhileRunning {
public:
    StopWhileRunning(sqlite3* handle, const MergeStop& stop) : handle_(handle), stop_(stop)
    {
        if (stop_)
            sqlite3_progress_handler(handle_, kEvery, &StopWhileRunning::asked, this);
    }
    ~StopWhileRunning()
    {
        if (stop_)
            sqlite3_progress_handler(handle_, 0, nullptr, nullptr);
    }
    StopWhileRunning(const StopWhileRunning&) = delete;
    StopWhileRunning& operator=(const StopWhileRunning&) = delete;
    bool stopped() const { return stopped_; }

private:
    // Virtual machine steps between two questions: some milliseconds.
    static constexpr int kEvery = 1000000;
    static int asked(void* self)
    {
        auto* watch = static_cast<StopWhileRunning*>(self);
        watch->stopped_ = watch->stopped_ || watch->stop_();
        return watch->stopped_ ? 1 : 0;
    }
    sqlite3* handle_;
    const MergeStop& stop_;
    bool stopped_ = false;
};

// While the listing insert is prepared and run, SQLite leaves the tables'
// CHECKs to the listing: a row goes in only when each of its values passed
// the merge's check, which refuses all a CHECK refuses and more. The
// setting only tells how a statement is prepared, and changing it sends
// the connection's statements to be prepared again: it is set back as soon
// as the insert is done, so nothing else is prepared without the CHECKs.
class ChecksLeftToListing {
public:
    explicit ChecksLeftToListing(sqlite3* handle, bool listing) : handle_(handle), on_(listing)
    {
        if (on_)
            on_ = !sqliteExec(handle_, "PRAGMA ignore_check_constraints = ON").failed();
    }
    ~ChecksLeftToListing() { end(); }
    ChecksLeftToListing(const ChecksLeftToListing&) = delete;
    ChecksLeftToListing& operator=(const ChecksLeftToListing&) = delete;
    void end()
    {
        if (on_)
            on_ = sqliteExec(handle_, "PRAGMA ignore_check_constraints = OFF").failed();
    }

private:
    sqlite3* handle_;
    bool on_;
};

// One table of the source into a file, in its own transaction.
class SqliteTableMerge {
public:
    SqliteTableMerge(QSqlDatabase& db, MergeFunctions& functions, qint64 entry, DatabaseFailure& failure)
        : db_(db), handle_(sqliteHandle(db)), functions_(functions), entry_(entry), failure_(failure)
    {}

    // Stopped midway, the table is rolled back and counts nothing: true.
    bool run(const TableDef& t, const QString& sourceName, MergeTableCount& count, const MergeStop& stop)
    {
        const StopWhileRunning watch(handle_, stop);
        run(t, sourceName, count);
        if (!watch.stopped())
            return false;
        // What the interruption failed was no fault of the database's.
        if (sqlite3_get_autocommit(handle_) == 0)
            abandon(count, QString());
        failure_ = DatabaseFailure{};
        count = MergeTableCount{count.table, 0, 0, 0, 0, QString(), {}};
        return true;
    }

    // A failure of the target's own (it cannot begin, write or commit) goes
    // to the failure and stops the merge; a source table that cannot be read
    // only fails that table.
    void run(const TableDef& t, const QString& sourceName, MergeTableCount& count)
    {
        const SqliteMergeSql sql = sqliteMergeSql(t, sourceName, sourceColumns(db_, sourceName));
        // Files of this program hold rows that fit: they go in at once, each
        // checked as the insert reads it. A row that does not fit sends the
        // table back, to go the way that reads the source first.
        const bool checkAsStored = isJournaledTable(t) && sameAffinities(handle_, t, sourceName);
        if (checkAsStored && attempt(t, sourceName, sql, count, true))
            return;
        attempt(t, sourceName, sql, count, false);
    }

private:
    // False when `checkAsStored` met a row that does not fit, or could not
    // list the rows as stored: nothing of the table is kept and it is to be
    // tried the other way. With the columns' affinities alike a value read
    // from the source is the value stored.
    bool attempt(const TableDef& t, const QString& sourceName, const SqliteMergeSql& sql, MergeTableCount& count,
                 bool checkAsStored)
    {
        const bool listed = isJournaledTable(t);
        if (!execSqlite(db_, "BEGIN", failure_))
            return true;
        // Intervals added mark their nights for the office's overview, in
        // the same transaction; rows of the record tables are listed in it.
        const bool nights = qstrcmp(t.name, "Intervalos") == 0;
        qint64 lastRow = 0;
        if (nights && !lastRowOf(t, &lastRow))
            return abandon(count, QString());
        if (listed && !entryOpen())
            return abandon(count, QString());
        std::optional<AddedRows> rows;
        if (listed) {
            std::vector<int> places = storedPlaces(handle_, t);
            if (places.empty())
                return fail(SqliteStep{SqliteStep::State::Failed, SQLITE_ERROR,
                                       QStringLiteral("%1 lacks columns of its own").arg(QString::fromUtf8(t.name))},
                            count);
            rows.emplace(handle_, t, functions_, std::move(places), checkAsStored);
        }
        functions_.resetCounts();
        // Only an interval with passes marks a night: when the rows listed
        // had none, the marking has nothing to find.
        std::vector<size_t> passes;
        if (nights && checkAsStored)
            for (const char* name : {"IPasadasLocal", "IPasadasVecino"})
                passes.push_back(size_t(t.column(QString::fromLatin1(name)) - t.columns.data()));
        functions_.watchPositive(passes);
        SqliteStatement insert;
        const QString& statement = checkAsStored ? sql.listing : checkSource(t, sql);
        ChecksLeftToListing checks(handle_, checkAsStored);
        SqliteStep step = insert.prepare(handle_, statement);
        if (!step.failed())
            step = insert.step();
        const qint64 added = sqlite3_changes64(handle_);
        insert.reset();
        checks.end();
        if (step.failed())
            return insertFailed(step, sourceName, count);
        count.added = added;
        if (checkAsStored && (functions_.counts().fitting != functions_.counts().read() || rows->failed())) {
            abandon(count, QString());
            return false;
        }
        if (rows && !listAdded(t, *rows, count.added))
            return abandon(count, QString());
        rows.reset();
        if (nights && count.added > 0 && (!checkAsStored || functions_.metPositive()) && !markNights(lastRow))
            return abandon(count, QString());
        if (!execSqlite(db_, "COMMIT", failure_))
            return abandon(count, QString());
        lines_.committed();
        const MergeFunctions::Counts& seen = functions_.counts();
        count.read = seen.read();
        // A row that passed the checks and was not added had its key there.
        count.present = seen.fitting - count.added + seen.presentMisfits;
        count.refused = std::max<qint64>(0, count.read - count.added - count.present);
        return true;
    }

    bool abandon(MergeTableCount& count, const QString& error)
    {
        db_.rollback();
        lines_.rolledBack();
        count = MergeTableCount{count.table, 0, 0, 0, 0, error, {}};
        return true;
    }

    bool fail(const SqliteStep& step, MergeTableCount& count)
    {
        failure_ = step.databaseFailure();
        return abandon(count, QString());
    }

    bool lastRowOf(const TableDef& t, qint64* row)
    {
        SqliteStatement last;
        SqliteStep step = last.prepare(handle_, QStringLiteral("SELECT coalesce(max(rowid), 0) FROM main.%1")
                                                    .arg(quoteIdentifier(QString::fromUtf8(t.name))));
        if (!step.failed())
            step = last.step();
        if (step.failed()) {
            failure_ = step.databaseFailure();
            return false;
        }
        *row = last.integer(0);
        return true;
    }

    // Checks and counts the source's rows in one read; the insert for what
    // it found. A source it cannot read so is checked by the insert.
    const QString& checkSource(const TableDef& t, const SqliteMergeSql& sql)
    {
        std::vector<qint64> misfits;
        SqliteStatement rows;
        SqliteStep step = rows.prepare(handle_, sql.check);
        std::vector<sqlite3_value*> values(t.columns.size());
        while (!step.failed() && (step = rows.step()).row()) {
            for (size_t c = 0; c < values.size(); ++c)
                values[c] = rows.value(int(c) + 1);
            if (functions_.check(t, values.data()) != RowFit::Fits)
                misfits.push_back(rows.integer(0));
        }
        if (step.failed()) {
            functions_.resetCounts();
            return sql.checking;
        }
        const bool all = misfits.empty();
        functions_.setMisfits(std::move(misfits));
        return all ? sql.unchecked : sql.byRowid;
    }

    // Stores the lines of the `added` rows the hook listed.
    bool listAdded(const TableDef& t, AddedRows& rows, qint64 added)
    {
        SqliteStep step;
        if (rows.failed() || rows.listed() != added)
            step = SqliteStep{SqliteStep::State::Failed, SQLITE_ERROR,
                              QStringLiteral("The rows added to %1 were not all listed").arg(QString::fromUtf8(t.name))};
        else
            step = lines_.write(rows.packer().take(true));
        if (step.failed())
            failure_ = step.databaseFailure();
        return !step.failed();
    }

    bool markNights(qint64 afterRow)
    {
        SqliteStatement mark;
        SqliteStep step = mark.prepare(handle_, markNightsAfterRowSql(SqlDialect::SQLite));
        if (!step.failed()) {
            mark.bindInteger(0, afterRow);
            step = mark.step();
        }
        if (step.failed())
            failure_ = step.databaseFailure();
        return !step.failed();
    }

    bool insertFailed(const SqliteStep& step, const QString& sourceName, MergeTableCount& count)
    {
        const DatabaseFailure f = step.databaseFailure();
        QSqlQuery probe(db_);
        const bool sourceReads =
            probe.exec(QStringLiteral("SELECT count(*) FROM %1.%2").arg(kSource, quoteIdentifier(sourceName)));
        probe.finish();
        if (f.kind == DatabaseFailure::Kind::Other && !sourceReads)
            return abandon(count, step.message);
        failure_ = f;
        return abandon(count, QString());
    }

    // The rows are listed only while the merge's entry is open.
    bool entryOpen()
    {
        SqliteStep step = lines_.prepare(handle_, entry_);
        if (!step.failed())
            step = lines_.checkOpen();
        if (step.failed())
            failure_ = step.databaseFailure();
        return !step.failed();
    }

    QSqlDatabase& db_;
    sqlite3* handle_;
    MergeFunctions& functions_;
    qint64 entry_;
    DatabaseFailure& failure_;
    SqlitePackedLines lines_;
};

void runMerge(QSqlDatabase& db, const QString& sourcePath, const MergeProgress& progress, const MergeStop& stop,
              MergeResult& result, qint64 entry)
{
    QSqlQuery q(db);
    MergeFunctions functions;
    if (!functions.registerOn(sqliteHandle(db))) {
        result.failure = sqliteFailure(db.lastError());
        return;
    }
    q.prepare(QStringLiteral("ATTACH DATABASE ? AS ") + kSource);
    q.addBindValue(QUrl::fromLocalFile(QFileInfo(sourcePath).absoluteFilePath()).toString(QUrl::FullyEncoded)
                   + QStringLiteral("?mode=ro"));
    if (!q.exec()) {
        result.fault = MergeResult::Fault::NotOurs;
        result.detail = q.lastError().text();
        return;
    }
    // A file that is not a database only shows itself on the first read.
    QStringList sourceTables;
    if (!q.exec(QStringLiteral("SELECT name FROM %1.sqlite_master WHERE type = 'table'").arg(kSource))) {
        result.fault = MergeResult::Fault::NotOurs;
        result.detail = q.lastError().text();
    } else {
        while (q.next())
            sourceTables << q.value(0).toString();
        q.finish();
        if (sourceTableName(sourceTables, "Programacion").isEmpty())
            result.fault = MergeResult::Fault::NotOurs;
        else
            mergeSharedTables(
                sourceTables, progress, stop, result,
                [&](const TableDef& t, const QString& name, MergeTableCount& count) {
                    if (SqliteTableMerge(db, functions, entry, result.failure).run(t, name, count, stop))
                        result.stoppedAt = count.table;
                },
                [&db](const QString& name) { return sourceColumnNames(db, name); });
    }
    q.exec(QStringLiteral("DETACH DATABASE ") + kSource);
}

} // namespace

void SqliteRowSink::mergeFile(const QString& sourcePath, qint64 entry, MergeResult& result,
                              const MergeProgress& progress, const MergeStop& stop)
{
    // Its own connection: the source is attached read-only, which needs URI names.
    const QString name = QStringLiteral("tvq52-merge-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(database_.path());
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=5000"));
        if (!db.open()) {
            result.failure = sqliteFailure(db.lastError());
        } else {
            // A million rows go into a table, its key and the journal's list at
            // once: the default cache of 2 MB would reread their pages all along.
            QSqlQuery(db).exec(QStringLiteral("PRAGMA cache_size = -131072"));
            // The file is in WAL mode: as on the program's own connection, a
            // commit waits for the disk only when the log is written back.
            QSqlQuery(db).exec(QStringLiteral("PRAGMA synchronous = NORMAL"));
            runMerge(db, sourcePath, progress, stop, result, entry);
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
}

} // namespace tvq52
