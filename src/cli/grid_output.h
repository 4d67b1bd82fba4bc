#pragma once

#include "records/csv_writer.h"

#include <QIODevice>
#include <QJsonObject>
#include <QJsonValue>

namespace tvq52 {

// A grid's rows for programs rather than spreadsheets: stored values (levels
// as numbers, flags as 1 and 0 or true and false), dates as ISO 8601 and one
// header per column named after its stored column.

// The value of a cell as a program reads it; null for an empty cell.
QJsonValue machineValue(const GridColumn& column, const QVariant& stored);
// A JSON value as a field of the machine CSV.
QString machineField(const QJsonValue& value);

// Comma-separated, a header line, LF between records, RFC 4180 quoting.
bool writeMachineCsv(QIODevice& out, const RecordGridModel& grid, const QList<int>& columns,
                     const std::optional<StartRange>& range);
// The same rows as one JSON document: {"grid", "serial", "columns", "rows"}.
QJsonObject gridJson(const RecordGridModel& grid, qint32 serial, const QList<int>& columns,
                     const std::optional<StartRange>& range);

} // namespace tvq52
