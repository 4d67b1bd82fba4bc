#include "db/sqlite_row_sink.h"

#include "db/database.h"
#include "db/fleet_tables.h"
#include "db/store.h"

#include <QSqlError>
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

Error stepError(const SqliteStep& step)
{
    const auto kind = step.databaseFailure().kind;
    return databaseError(kind == DatabaseFailure::Kind::None ? DatabaseFailure::Kind::Other : kind, step.message);
}

// Runs a statement that hands back no row.
Status run(SqliteStatement& statement)
{
    const SqliteStep step = statement.step();
    statement.reset();
    if (step.failed())
        return stepError(step);
    return {};
}

} // namespace

SqliteRowSink::SqliteRowSink(Database& database, int batchRows)
    : RowSink(false), database_(database), db_(sqliteHandle(database.connection())), batchRows_(batchRows)
{}

SqliteRowSink::~SqliteRowSink()
{
    if (cacheSize_ != 0)
        setSqlitePragma(db_, "cache_size", cacheSize_);
    if (checkpointPages_ > 0)
        setSqlitePragma(db_, "wal_autocheckpoint", checkpointPages_);
}

Status SqliteRowSink::prepare(const std::vector<SinkTable>& tables, qint64 entry)
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
        return batchFailure();
    }
    for (const SinkTable& def : tables)
        if (!prepareTable(def))
            return batchFailure();
    return {};
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

Status SqliteRowSink::begin()
{
    if (!exec("BEGIN", 0))
        return batchFailure();
    return {};
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

SqliteRowSink::Shape SqliteRowSink::makeShape(RecordShape shape)
{
    Shape s;
    static_cast<RecordShape&>(s) = std::move(shape);
    QStringList keyTerms, sets;
    for (const QString& k : std::as_const(s.quotedKey))
        keyTerms << k + QLatin1String(" = ?");
    // Only the columns the record carries are set on a row already there;
    // a record of key columns alone sets one to itself so that the
    // statement still hands the row back.
    for (const QString& name : std::as_const(s.quoted))
        if (!s.quotedKey.contains(name))
            sets << name + QLatin1String(" = excluded.") + name;
    if (sets.isEmpty())
        sets << s.quotedKey.front() + QLatin1String(" = excluded.") + s.quotedKey.front();
    const QString upsert =
        QStringLiteral("INSERT INTO %1 (%2) VALUES (%3) ON CONFLICT (%4) DO UPDATE SET %5 RETURNING ")
                   .arg(s.quotedTable, s.quoted.join(QLatin1String(", ")),
                        QStringList(s.quoted.size(), QStringLiteral("?")).join(QLatin1String(", ")),
                        s.quotedKey.join(QLatin1String(", ")), sets.join(QLatin1String(", ")));
    s.upsert = upsert + QLatin1String("rowid");
    s.upsertReturningRow = upsert + QLatin1String("*");
    s.find = QStringLiteral("SELECT rowid FROM %1 WHERE %2").arg(s.quotedTable, keyTerms.join(QLatin1String(" AND ")));
    return s;
}

Status SqliteRowSink::prepared(SqliteStatement& statement, const QString& sql)
{
    if (statement.prepared())
        return {};
    const SqliteStep step = statement.prepare(connection_, sql);
    if (step.failed())
        return stepError(step);
    return {};
}

Status SqliteRowSink::prepareShape(Shape& s, bool returningRow)
{
    sqlite3* connection = sqliteHandle(database_.connection());
    if (connection != connection_) {
        // Prepared on a connection that has since been replaced.
        for (SqliteStatement* statement : {&begin_, &commit_, &rollback_, &unit_, &night_})
            *statement = SqliteStatement();
        for (auto& [signature, other] : shapes_.all())
            for (SqliteStatement* statement : {&other.fileFind, &other.fileUpsert, &other.fileUpsertReturningRow})
                *statement = SqliteStatement();
        connection_ = connection;
    }
    // The write lock is taken at once: a reader turned writer could
    // otherwise meet another program's commit and fail without waiting.
    if (!unit_.prepared()) {
        for (const auto& [statement, sql] :
             {std::pair<SqliteStatement*, QString>{&begin_, QStringLiteral("BEGIN IMMEDIATE")},
              {&commit_, QStringLiteral("COMMIT")},
              {&rollback_, QStringLiteral("ROLLBACK")},
              {&unit_, QStringLiteral("SELECT 1 FROM \"Programacion\" WHERE \"LNumeroSerie\" = ?")}})
            if (Status ready = prepared(*statement, sql); !ready)
                return ready;
    }
    if (Status ready = prepared(s.fileFind, s.find); !ready)
        return ready;
    if (!returningRow)
        return prepared(s.fileUpsert, s.upsert);
    if (s.fileUpsertReturningRow.prepared())
        return {};
    if (Status ready = prepared(s.fileUpsertReturningRow, s.upsertReturningRow); !ready)
        return ready;
    s.returned.clear();
    for (int i = 0; i < s.fileUpsertReturningRow.columnCount(); ++i)
        s.returned.push_back(s.table->column(s.fileUpsertReturningRow.columnName(i)));
    return {};
}

Result<KeyedWrite> SqliteRowSink::put(qint32 serial, const QString& table, const Row& row, bool marksNight,
                                           const Listing& list)
{
    Result<Shape*> s = shapes_.get(table, row, makeShape);
    if (!s)
        return s.error();
    const QVariantList values = (*s)->storageValues(row, SqlDialect::SQLite);
    if (Status ready = prepareShape(**s, bool(list)); !ready)
        return ready.error();
    if (Status begun = run(begin_); !begun)
        return begun.error();
    transactionOpened();
    Result<KeyedWrite> done = written(**s, values, serial, marksNight, list);
    // Whatever it says, the failure that led here is the one to tell.
    if (!done)
        (void)run(rollback_);
    return done;
}

Result<KeyedWrite> SqliteRowSink::written(Shape& s, const QVariantList& values, qint32 serial, bool marksNight,
                                               const Listing& list)
{
    if (Status unit = unitStored(serial); !unit)
        return unit.error();
    const Result<bool> existed = found(s, values);
    if (!existed)
        return existed.error();
    SqliteStatement& upsert = list ? s.fileUpsertReturningRow : s.fileUpsert;
    for (qsizetype i = 0; i < values.size(); ++i)
        upsert.bind(int(i), values[i]);
    const SqliteStep step = upsert.step();
    if (!step.row()) {
        upsert.reset();
        if (step.failed())
            return stepError(step);
        return databaseError(DatabaseFailure::Kind::Other,
                             QStringLiteral("%1: the stored row did not come back").arg(QString::fromUtf8(s.table->name)));
    }
    if (list) {
        // What the row holds now, older columns kept included.
        Row storedRow;
        for (std::size_t i = 0; i < s.returned.size(); ++i)
            if (const ColumnDef* c = s.returned[i])
                storedRow.append(QString::fromUtf8(c->name), fromStorage(*c, upsert.column(int(i))));
        upsert.reset();
        if (Status listed = list(QString::fromUtf8(s.table->name), storedRow); !listed)
            return listed.error();
    } else {
        upsert.reset();
    }
    if (marksNight)
        if (Status marked = markedNight(s, values); !marked)
            return marked.error();
    if (Status committed = run(commit_); !committed)
        return committed.error();
    return KeyedWrite{*existed ? Stored::Rewritten : Stored::Added, std::nullopt};
}

Status SqliteRowSink::unitStored(qint32 serial)
{
    // Under the write lock a deletion elsewhere has either happened or waits
    // for this record's commit.
    unit_.bind(0, serial);
    const SqliteStep step = unit_.step();
    unit_.reset();
    if (step.failed())
        return stepError(step);
    if (!step.row())
        return unitGone(serial);
    return {};
}

Result<bool> SqliteRowSink::found(Shape& s, const QVariantList& values)
{
    for (std::size_t k = 0; k < s.key.size(); ++k)
        s.fileFind.bind(int(k), values[s.key[k]]);
    const SqliteStep step = s.fileFind.step();
    s.fileFind.reset();
    if (step.failed())
        return stepError(step);
    return step.row();
}

Status SqliteRowSink::markedNight(const Shape& s, const QVariantList& values)
{
    if (Status ready = prepared(night_, markIntervalNightSql(SqlDialect::SQLite)); !ready)
        return ready;
    const QVariantList key = s.keyValues(values);
    for (qsizetype k = 0; k < key.size(); ++k)
        night_.bind(int(k), key[k]);
    return run(night_);
}

Status SqliteRowSink::updateUnit(qint32 serial, const Row& values)
{
    const TableDef* table = schemaTable(QStringLiteral("Programacion"));
    QStringList sets;
    for (const QString& column : values.columns())
        sets << quoteIdentifier(QString::fromUtf8(table->column(column)->name)) + QLatin1String(" = ?");
    // Once or twice a download: prepared each time, on the connection of the moment.
    SqliteStatement update;
    SqliteStep step = update.prepare(sqliteHandle(database_.connection()),
                                     QStringLiteral("UPDATE \"Programacion\" SET %1 WHERE \"LNumeroSerie\" = ?")
                                         .arg(sets.join(QLatin1String(", "))));
    if (step.failed())
        return stepError(step);
    int at = 0;
    for (qsizetype i = 0; i < values.columns().size(); ++i)
        update.bind(at++, toStorage(*table->column(values.columns()[i]), values.values()[i], SqlDialect::SQLite));
    update.bind(at, serial);
    step = update.step();
    if (step.failed())
        return stepError(step);
    if (sqlite3_changes(sqliteHandle(database_.connection())) == 0)
        return unitGone(serial);
    return {};
}

} // namespace tvq52
