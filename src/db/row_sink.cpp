#include "db/row_sink.h"

#include "db/database.h"
#include "db/server_row_sink.h"
#include "db/sqlite_row_sink.h"

#include <QSqlError>
#include <algorithm>

namespace tvq52 {

Result<std::unique_ptr<RowSink>> openRowSink(Database& database, int batchRows)
{
    const bool batches = batchRows != kNoBatches;
    if (database.isServer()) {
        auto sink = std::make_unique<ServerRowSink>(database, batchRows);
        if (batches && !sink->valid())
            return Error(0, database.connection().lastError().text());
        return std::unique_ptr<RowSink>(std::move(sink));
    }
    if (batches && !sqliteHandle(database.connection()))
        return Error(0, QStringLiteral("La conexión no es de SQLite"));
    return std::unique_ptr<RowSink>(std::make_unique<SqliteRowSink>(database, batchRows));
}

DatabaseFailure::Kind RowSink::failureOf(const QSqlError& error) const
{
    const auto kind = databaseFailure(error, server_).kind;
    return kind == DatabaseFailure::Kind::None ? DatabaseFailure::Kind::Other : kind;
}

Error RowSink::unitGone(qint32 serial)
{
    return databaseError(DatabaseFailure::Kind::UnitGone, QStringLiteral("No Programacion row for %1").arg(serial));
}

bool sameStoredValue(const ColumnDef& c, const QVariant& a, const QVariant& b)
{
    if (a.isNull() || b.isNull())
        return a.isNull() == b.isNull();
    switch (c.type) {
    case ColumnType::Single:
        return a.toFloat() == b.toFloat();
    case ColumnType::Long:
    case ColumnType::Short:
    case ColumnType::Byte:
    case ColumnType::Boolean:
        return a.toLongLong() == b.toLongLong();
    case ColumnType::Date:
        return a.toString().left(10) == b.toString().left(10); // both "yyyy-mm-dd" as stored
    case ColumnType::Text:
        return a.toString() == b.toString();
    }
    return false;
}

bool sameSinkRow(const SinkTable& table, const SinkRow& a, const SinkRow& b)
{
    for (size_t i = 0; i < table.columns.size(); ++i) {
        const SinkValue &x = a[i], &y = b[i];
        bool same = false;
        if (x.kind != y.kind || x.kind == SinkValue::Kind::Null)
            same = sameStoredValue(*table.columns[i], a.variant(i), b.variant(i));
        else if (x.kind == SinkValue::Kind::Integer)
            same = table.columns[i]->type == ColumnType::Single ? float(x.integer) == float(y.integer)
                                                                : x.integer == y.integer;
        else if (x.kind == SinkValue::Kind::Real)
            same = float(x.real) == float(y.real);
        else
            same = table.columns[i]->type == ColumnType::Date ? a.text(i).substr(0, 10) == b.text(i).substr(0, 10)
                                                              : a.text(i) == b.text(i);
        if (!same)
            return false;
    }
    return true;
}

QVariantList RecordShape::storageValues(const Row& row, SqlDialect dialect) const
{
    QVariantList values;
    values.reserve(row.values().size());
    for (std::size_t i = 0; i < columns.size(); ++i)
        values << toStorage(*columns[i], row.values()[qsizetype(i)], dialect);
    return values;
}

QVariantList RecordShape::keyValues(const QVariantList& values) const
{
    QVariantList keyed;
    for (int k : key)
        keyed << values[k];
    return keyed;
}

Result<RecordShape> recordShape(const QString& tableName, const QStringList& columns)
{
    RecordShape shape;
    shape.tableName = tableName;
    shape.names = columns;
    shape.table = schemaTable(tableName);
    if (!shape.table)
        return databaseError(DatabaseFailure::Kind::Other, QStringLiteral("No table %1").arg(tableName));
    const TableDef& t = *shape.table;
    shape.quotedTable = quoteIdentifier(QString::fromUtf8(t.name));
    for (const QString& column : columns) {
        const ColumnDef* c = t.column(column);
        if (!c)
            return databaseError(DatabaseFailure::Kind::Other,
                                 QStringLiteral("%1 has no column %2").arg(tableName, column));
        shape.columns.push_back(c);
        shape.quoted << quoteIdentifier(QString::fromUtf8(c->name));
    }
    for (const char* k : t.key) {
        const auto at = std::find(shape.columns.begin(), shape.columns.end(), t.column(QString::fromUtf8(k)));
        if (at == shape.columns.end())
            return databaseError(DatabaseFailure::Kind::Other,
                                 QStringLiteral("%1 row without its key column %2").arg(tableName, QString::fromUtf8(k)));
        shape.key.push_back(int(at - shape.columns.begin()));
        shape.quotedKey << quoteIdentifier(QString::fromUtf8(k));
    }
    return shape;
}

} // namespace tvq52
