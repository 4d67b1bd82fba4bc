#pragma once

#include "core/stored_value.h"
#include "db/schema.h"

#include <QVariant>

namespace tvq52 {

// The check of a value bound for `column` of `table` (checkValue), the
// column's role taken from the table.
ColumnRole columnRole(const TableDef& table, const ColumnDef& column);
inline ValueFault checkStoredValue(const TableDef& table, const ColumnDef& column, const QVariant& value)
{
    return checkValue(column, columnRole(table, column), value);
}

} // namespace tvq52
