#include "db/record_writer.h"

#include "db/database.h"
#include "db/database_failure.h"
#include "db/server_record_writer.h"
#include "db/sqlite_record_writer.h"
#include "db/store.h"

#include <algorithm>

namespace tvq52 {

std::unique_ptr<RecordWriter> openRecordWriter(Database& database)
{
    if (database.isServer())
        return std::make_unique<ServerRecordWriter>(database);
    return std::make_unique<SqliteRecordWriter>(database);
}

DatabaseFailure::Kind RecordWriter::failureOf(const QSqlError& error) const
{
    const auto kind = databaseFailure(error, server_).kind;
    return kind == DatabaseFailure::Kind::None ? DatabaseFailure::Kind::Other : kind;
}

Error RecordWriter::unitGone(qint32 serial)
{
    return databaseError(DatabaseFailure::Kind::UnitGone, QStringLiteral("No Programacion row for %1").arg(serial));
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
