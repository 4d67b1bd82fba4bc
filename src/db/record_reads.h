#pragma once

#include "core/error.h"

#include <QDateTime>
#include <QStringList>
#include <QVariantList>
#include <QVector>
#include <optional>
#include <vector>

namespace tvq52 {

class Database;

// The stored date and time of the newest start in `table` (Intervalos,
// Sesiones) of the unit, or of the newest one before `before`; empty when
// there is none.
Result<QVariantList> newestRecordStart(Database& database, const QString& table, qint32 serial,
                                       const std::optional<QDateTime>& before);

// The ids of the unit's rows of `table` in the order of `keys` (schema
// names, each taking `descending`; a "dd/mm/yyyy" text orders as its date),
// ties kept in a fixed order. A name the table lacks is an error.
Result<std::vector<qint64>> recordRowIds(Database& database, const QString& table, qint32 serial,
                                         const QStringList& keys, bool descending);
// The values of `columns` of the rows `ids`, in the order of `ids`; a row
// gone since reads empty.
Result<std::vector<QVector<QVariant>>> recordRowsById(Database& database, const QString& table,
                                                      const QStringList& columns, const std::vector<qint64>& ids);

} // namespace tvq52
