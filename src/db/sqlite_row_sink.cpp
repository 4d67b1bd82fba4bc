#include "db/sqlite_row_sink.h"

#include "db/store.h"

#include <QStringList>
#include <sqlite3.h>

namespace tvq52 {

namespace {

qint64 sqlitePragma(sqlite3* db, const char* name)
{
    SqliteStatement read;
    if (read.prepare(db, QStringLiteral("PRAGMA %1").arg(QLatin1String(name))).failed() || !read.step().row())
        return 0;
    return read.integer(0);
}

void setSqlitePragma(sqlite3* db, const char* name, qint64 value)
{
    sqliteExec(db, QStringLiteral("PRAGMA %1 = %2").arg(QLatin1String(name)).arg(value).toUtf8().constData());
}

} // namespace

SqliteRowSink::~SqliteRowSink()
{
    if (cacheSize_ != 0)
        setSqlitePragma(db_, "cache_size", cacheSize_);
    if (checkpointPages_ > 0)
        setSqlitePragma(db_, "wal_autocheckpoint", checkpointPages_);
}

bool SqliteRowSink::prepare(const std::vector<SinkTable>& tables, qint64 entry)
{
    // A batch of rows, their indexes and their journal lines fit the page
    // cache, and the file is synced every 64 MB of log rather than every 4:
    // neither changes what a crash may lose.
    cacheSize_ = sqlitePragma(db_, "cache_size");
    checkpointPages_ = sqlitePragma(db_, "wal_autocheckpoint");
    setSqlitePragma(db_, "cache_size", -32768);
    if (checkpointPages_ > 0)
        setSqlitePragma(db_, "wal_autocheckpoint", 16384);
    entry_ = entry;
    tables_.clear();
    tables_.reserve(tables.size());
    counts_.assign(tables.size(), SinkCounts());
    committed_ = counts_;
    packer_.clear();
    SqliteStep step = lines_.prepare(db_, entry);
    if (step.failed()) {
        failure_ = step.databaseFailure();
        return false;
    }
    for (const SinkTable& def : tables)
        if (!prepareTable(def))
            return false;
    return true;
}

bool SqliteRowSink::prepareTable(const SinkTable& def)
{
    Table& t = tables_.emplace_back();
    t.def = def;
    t.name = QByteArray(def.table->name);
    t.digest = std::make_unique<RowDigest>(def);
    QStringList quoted, where;
    for (const ColumnDef* c : def.columns)
        quoted << quoteIdentifier(QString::fromUtf8(c->name));
    for (int k : def.keyIndex)
        where << quoted[k] + QStringLiteral(" = ?");
    const QString table = quoteIdentifier(QString::fromUtf8(t.name));
    SqliteStep step = t.find.prepare(db_, QStringLiteral("SELECT %1 FROM %2 WHERE %3")
                                              .arg(quoted.join(QLatin1String(", ")), table,
                                                   where.join(QLatin1String(" AND "))));
    // Only a stored key is passed over: a value the table's checks refuse
    // is still an error.
    if (!step.failed())
        step = t.insert.prepare(db_, QStringLiteral("INSERT INTO %1 (%2) VALUES (%3) ON CONFLICT DO NOTHING")
                                         .arg(table, quoted.join(QLatin1String(", ")),
                                              QStringList(quoted.size(), QStringLiteral("?")).join(QLatin1String(", "))));
    if (step.failed())
        failure_ = step.databaseFailure();
    return !step.failed();
}

void SqliteRowSink::fail(const SqliteStep& step, qint64 line)
{
    failure_ = step.databaseFailure();
    failedLine_ = line;
    sqliteExec(db_, "ROLLBACK");
    packer_.clear();
    lines_.rolledBack();
    counts_ = committed_;
    added_ = committedAdded_;
}

bool SqliteRowSink::exec(const char* sql, qint64 line)
{
    const SqliteStep step = sqliteExec(db_, sql);
    if (step.failed())
        fail(step, line);
    return !step.failed();
}

bool SqliteRowSink::writeLines(qint64 line)
{
    if (packer_.empty())
        return true;
    SqliteStep step = lines_.checkOpen();
    if (!step.failed())
        step = lines_.write(packer_.take(true));
    // A row the journal cannot list is not kept: the batch goes back.
    if (step.failed())
        fail(step, line);
    return !step.failed();
}

bool SqliteRowSink::commit(qint64 line)
{
    if (!writeLines(line) || !exec("COMMIT", line))
        return false;
    lines_.committed();
    committed_ = counts_;
    committedAdded_ = added_;
    return true;
}

bool SqliteRowSink::begin()
{
    return exec("BEGIN", 0);
}

void SqliteRowSink::addRow(size_t index, qint64 line, const SinkRow& row)
{
    if (failure_.failed() || !insert(index, line, row))
        return;
    ++counts_[index].added;
    ++added_;
    if (++inBatch_ >= batchRows_) {
        if (!commit(line) || !exec("BEGIN", line))
            return;
        inBatch_ = 0;
    }
}

bool SqliteRowSink::insert(size_t index, qint64 line, const SinkRow& row)
{
    Table& t = tables_[index];
    // While the rows met are stored already (a file imported again), the
    // key is looked up first: an insert that meets its key would look it up
    // once more to compare.
    if (t.lookFirst) {
        if (countPresent(index, line, row) || failure_.failed())
            return false;
        t.lookFirst = false;
    }
    for (size_t i = 0; i < row.size(); ++i)
        t.insert.bind(int(i), row, i);
    const SqliteStep done = t.insert.step();
    t.insert.reset();
    if (done.rowRefused()) {
        // The row's own values, not the database: a stored key is counted
        // as it always was, anything else refused.
        if (!countPresent(index, line, row) && !failure_.failed() && onRefused)
            onRefused(index, line, done.message);
        return false;
    }
    if (done.failed()) {
        fail(done, line);
        return false;
    }
    if (sqlite3_changes(db_) == 0) {
        t.lookFirst = countPresent(index, line, row);
        return false;
    }
    list(t, row);
    return true;
}

void SqliteRowSink::list(Table& t, const SinkRow& row)
{
    if (!t.digest->listed())
        return; // only the record tables need their provenance
    std::string_view key;
    const unsigned char* digest = nullptr;
    t.digest->computeRaw(row, &key, &digest);
    packer_.add(std::string_view(t.name.constData(), size_t(t.name.size())), key, digest);
}

bool SqliteRowSink::countPresent(size_t index, qint64 line, const SinkRow& row)
{
    Table& t = tables_[index];
    for (size_t k = 0; k < t.def.keyIndex.size(); ++k)
        t.find.bind(int(k), row, size_t(t.def.keyIndex[k]));
    const SqliteStep found = t.find.step();
    if (found.failed()) {
        t.find.reset();
        fail(found, line);
        return false;
    }
    if (found.row())
        ++(sameAsStored(t, row) ? counts_[index].present : counts_[index].differs);
    t.find.reset();
    return found.row();
}

// As sameStoredValue(), straight from the statement for the kinds a sink
// stores.
bool SqliteRowSink::sameAsStored(const Table& t, const SinkRow& row) const
{
    for (size_t i = 0; i < t.def.columns.size(); ++i) {
        const ColumnDef& c = *t.def.columns[i];
        const int at = int(i);
        const SinkValue& v = row[i];
        const int stored = t.find.type(at);
        bool same = false;
        if (stored == SQLITE_NULL || v.kind == SinkValue::Kind::Null)
            same = stored == SQLITE_NULL && v.kind == SinkValue::Kind::Null;
        else if (c.type == ColumnType::Single && v.kind == SinkValue::Kind::Real && stored != SQLITE_TEXT)
            same = float(t.find.real(at)) == float(v.real);
        else if (c.type != ColumnType::Single && v.kind == SinkValue::Kind::Integer && stored == SQLITE_INTEGER)
            same = t.find.integer(at) == v.integer;
        else if (c.type == ColumnType::Text && v.kind == SinkValue::Kind::Text && stored == SQLITE_TEXT)
            same = std::string_view(t.find.text(at), size_t(t.find.bytes(at))) == row.text(i);
        else
            same = sameStoredValue(c, t.find.column(at), row.variant(i));
        if (!same)
            return false;
    }
    return true;
}

void SqliteRowSink::finish(qint64 line)
{
    if (!failure_.failed())
        commit(line);
}

} // namespace tvq52
