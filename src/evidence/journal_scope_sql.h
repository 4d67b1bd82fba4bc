#pragma once

#include "core/error.h"

#include <QSqlDatabase>
#include <QString>
#include <QVariantList>
#include <optional>

namespace tvq52 {

struct TableDef;

// The statement that reads a table's stored records within a check's scope:
// all, a unit's, or a unit's days from `fromKey`'s to `toKey`'s (journal
// key texts); its values go to `binds`.
QString storedRowsSql(const TableDef& table, std::optional<qint32> unit, const QString& fromKey,
                      const QString& toKey, bool server, QVariantList& binds);

// A unit's stored totals in the words a download's entry keeps them
// ("passes-venue N\n...read-at DATE TIME"); none when the unit is not stored.
Result<std::optional<QString>> storedUnitTotals(QSqlDatabase db, qint32 unit);

} // namespace tvq52
