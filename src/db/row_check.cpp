#include "db/row_check.h"

namespace tvq52 {

ColumnRole columnRole(const TableDef& table, const ColumnDef& column)
{
    return {table.isKey(column), isRecordTime(column)};
}

} // namespace tvq52
