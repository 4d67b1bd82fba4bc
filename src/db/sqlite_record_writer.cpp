#include "db/sqlite_record_writer.h"

#include "db/database.h"
#include "db/fleet_tables.h"

#include <QSqlError>
#include <sqlite3.h>

namespace tvq52 {

namespace {

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

SqliteRecordWriter::Shape SqliteRecordWriter::makeShape(RecordShape shape)
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

Status SqliteRecordWriter::prepared(SqliteStatement& statement, const QString& sql)
{
    if (statement.prepared())
        return {};
    const SqliteStep step = statement.prepare(connection_, sql);
    if (step.failed())
        return stepError(step);
    return {};
}

Status SqliteRecordWriter::prepare(Shape& s, bool returningRow)
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

Result<KeyedWrite> SqliteRecordWriter::put(qint32 serial, const QString& table, const Row& row, bool marksNight,
                                           const Listing& list)
{
    Result<Shape*> s = shapes_.get(table, row, makeShape);
    if (!s)
        return s.error();
    const QVariantList values = (*s)->storageValues(row, SqlDialect::SQLite);
    if (Status ready = prepare(**s, bool(list)); !ready)
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

Result<KeyedWrite> SqliteRecordWriter::written(Shape& s, const QVariantList& values, qint32 serial, bool marksNight,
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

Status SqliteRecordWriter::unitStored(qint32 serial)
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

Result<bool> SqliteRecordWriter::found(Shape& s, const QVariantList& values)
{
    for (std::size_t k = 0; k < s.key.size(); ++k)
        s.fileFind.bind(int(k), values[s.key[k]]);
    const SqliteStep step = s.fileFind.step();
    s.fileFind.reset();
    if (step.failed())
        return stepError(step);
    return step.row();
}

Status SqliteRecordWriter::markedNight(const Shape& s, const QVariantList& values)
{
    if (Status ready = prepared(night_, markIntervalNightSql(SqlDialect::SQLite)); !ready)
        return ready;
    const QVariantList key = s.keyValues(values);
    for (qsizetype k = 0; k < key.size(); ++k)
        night_.bind(int(k), key[k]);
    return run(night_);
}

Status SqliteRecordWriter::updateUnit(qint32 serial, const Row& values)
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
