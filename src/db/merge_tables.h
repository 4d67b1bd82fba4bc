#pragma once

#include "db/database_merge.h"
#include "db/schema.h"

#include <QList>
#include <QString>
#include <QStringList>

struct sqlite3;

// What a merge into a file and one into a server share: the source's
// tables, taken in turn. Each backend's merge lives beside its other writes.
namespace tvq52 {

// The name a source table goes by (any case), empty when it has none.
QString sourceTableName(const QStringList& sourceTables, const char* name);
// The columns of a table of the source, in its order.
QStringList sourceColumnNames(sqlite3* source, const QString& table);

// Every shared table in turn, counted into `result`; `mergeOne` moves one
// table's rows. Each PC keeps its own settings row.
template <typename MergeOne, typename ColumnsOf>
void mergeSharedTables(const QStringList& sourceTables, const MergeProgress& progress, const MergeStop& stop,
                       MergeResult& result, MergeOne&& mergeOne, ColumnsOf&& columnsOf)
{
    QList<const TableDef*> tables;
    for (const TableDef& t : schemaTables())
        if (!isLocalTable(t))
            tables << &t;
    for (int i = 0; i < tables.size(); ++i) {
        const TableDef& t = *tables[i];
        MergeTableCount count;
        count.table = QString::fromUtf8(t.name);
        if (progress)
            progress(count.table, i, int(tables.size()));
        if (stop && stop())
            result.stoppedAt = count.table;
        const QString name = sourceTableName(sourceTables, t.name);
        if (name.isEmpty())
            count.error = QStringLiteral("no such table: %1").arg(count.table);
        else if (!result.stopped())
            mergeOne(t, name, count);
        if (result.stopped())
            return;
        if (!name.isEmpty() && count.error.isEmpty())
            for (const QString& column : columnsOf(name))
                if (!t.column(column))
                    count.leftOut << column;
        result.tables << count;
        if (result.failure.failed()) {
            result.failedTable = count.table;
            return;
        }
    }
}

} // namespace tvq52
