#include "db/server_record_writer.h"

#include "core/own_words.h"
#include "db/database.h"
#include "db/fleet_tables.h"
#include "db/server_writes.h"

#include <QSqlQuery>
#include <QSqlRecord>

namespace tvq52 {

Error ServerRecordWriter::lastFailure(const Error& failed) const
{
    return databaseError(failureOf(statements_.lastSqlError()), untranslatedText(failed));
}

Result<QSqlQuery*> ServerRecordWriter::run(const QString& sql, const QVariantList& binds)
{
    const Result<QSqlQuery*> query = statements_.get(sql, sql);
    if (!query)
        return lastFailure(query.error());
    if (const Status done = statements_.run(**query, binds); !done)
        return lastFailure(done.error());
    return *query;
}

Status ServerRecordWriter::execute(const QString& sql)
{
    if (const Status done = statements_.execute(sql); !done)
        return lastFailure(done.error());
    return {};
}

ServerRecordWriter::Shape ServerRecordWriter::makeShape(RecordShape shape)
{
    Shape s;
    static_cast<RecordShape&>(s) = std::move(shape);
    s.put = QStringLiteral("SELECT (p.stored).*, p.added AS tvq52_added FROM tvq52_collect_put(CAST(? "
                           "AS INTEGER), CAST(? AS JSONB), NULL::%1) p WHERE p.added IS NOT NULL")
                .arg(s.quotedTable);
    return s;
}

Result<KeyedWrite> ServerRecordWriter::put(qint32 serial, const QString& table, const Row& row, bool marksNight,
                                           const Listing& list)
{
    Result<Shape*> s = shapes_.get(table, row, makeShape);
    if (!s)
        return s.error();
    const QVariantList values = (*s)->storageValues(row, database_.dialect());
    // The server takes its row locks as the statements run.
    const bool transaction = bool(list) || marksNight;
    if (transaction) {
        if (Status begun = execute(QStringLiteral("BEGIN")); !begun)
            return begun.error();
        transactionOpened();
    }
    Result<KeyedWrite> done = written(**s, values, serial, marksNight, list, transaction);
    // Whatever it says, the failure that led here is the one to tell.
    if (transaction && (!done || done->raced))
        (void)statements_.execute(QStringLiteral("ROLLBACK"));
    return done;
}

Result<KeyedWrite> ServerRecordWriter::written(const Shape& s, const QVariantList& values, qint32 serial,
                                               bool marksNight, const Listing& list, bool transaction)
{
    const Result<QSqlQuery*> put = run(s.put, {serial, serverRecordJson(s.columns, values)});
    if (!put) {
        // A unique key taken meanwhile can only be another PC's same record.
        if (statements_.lastSqlError().nativeErrorCode() == QLatin1String("23505"))
            return KeyedWrite{Stored::Added, put.error()};
        return put.error();
    }
    QSqlQuery& upsert = **put;
    if (!upsert.next()) {
        upsert.finish();
        return unitGone(serial);
    }
    const QSqlRecord returned = upsert.record();
    const bool existed = !upsert.value(returned.count() - 1).toBool();
    if (list) {
        // What the row holds now, older columns kept included.
        Row storedRow;
        for (int i = 0; i < returned.count(); ++i)
            if (const ColumnDef* c = s.table->column(returned.fieldName(i)))
                storedRow.append(QString::fromUtf8(c->name), fromStorage(*c, upsert.value(i)));
        upsert.finish();
        if (Status listed = list(QString::fromUtf8(s.table->name), storedRow); !listed)
            return listed.error();
    } else {
        upsert.finish();
    }
    if (marksNight)
        if (const Result<QSqlQuery*> marked = run(markIntervalNightSql(database_.dialect()), s.keyValues(values));
            !marked)
            return marked.error();
    if (transaction)
        if (Status committed = execute(QStringLiteral("COMMIT")); !committed)
            return committed.error();
    return KeyedWrite{existed ? Stored::Rewritten : Stored::Added, std::nullopt};
}

Status ServerRecordWriter::updateUnit(qint32 serial, const Row& values)
{
    // The program's function writes the readings.
    const TableDef* table = schemaTable(QStringLiteral("Programacion"));
    std::vector<const ColumnDef*> columns;
    QVariantList stored;
    for (qsizetype i = 0; i < values.columns().size(); ++i) {
        columns.push_back(table->column(values.columns()[i]));
        stored << toStorage(*columns.back(), values.values()[i], database_.dialect());
    }
    const Result<QSqlQuery*> update =
        run(QStringLiteral("SELECT tvq52_collect_unit_update(CAST(? AS INTEGER), CAST(? AS JSONB))"),
            {serial, serverRecordJson(columns, stored)});
    if (!update)
        return update.error();
    const int changed = (*update)->next() ? (*update)->value(0).toInt() : 0;
    (*update)->finish();
    if (changed == 0)
        return unitGone(serial);
    return {};
}

} // namespace tvq52
