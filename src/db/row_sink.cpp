#include "db/row_sink.h"

#include "db/database.h"
#include "db/server_row_sink.h"
#include "db/sqlite_row_sink.h"

#include <QSqlError>

namespace tvq52 {

Result<std::unique_ptr<RowSink>> openRowSink(Database& database, int batchRows)
{
    if (database.isServer()) {
        auto sink = std::make_unique<ServerRowSink>(database, batchRows);
        if (!sink->valid())
            return Error(0, database.connection().lastError().text());
        return std::unique_ptr<RowSink>(std::move(sink));
    }
    sqlite3* handle = sqliteHandle(database.connection());
    if (!handle)
        return Error(0, QStringLiteral("La conexión no es de SQLite"));
    return std::unique_ptr<RowSink>(std::make_unique<SqliteRowSink>(handle, batchRows));
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

} // namespace tvq52
