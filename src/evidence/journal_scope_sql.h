#pragma once

#include "core/error.h"

#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <QVariantList>
#include <functional>
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

// One journal line as a check reads it: the packed bytes only when asked for.
struct JournalLineRow {
    qint64 entry = 0;
    qint64 row = 0; // the line's rowid
    QByteArray table, key, lastKey, digest, packed;
    bool isPacked = false;
};

// The columns of the lines a check reads, "rowid" last; `packed`: the
// packed bytes, else NULL in their place.
QString journalLineColumns(bool packed);

// Each line `sql` (selecting journalLineColumns) gives, in its order; from
// SQLite straight from its rows. The error of the read that failed.
Status readJournalLines(QSqlDatabase db, const QString& sql, const QVariantList& binds,
                        const std::function<void(const JournalLineRow&)>& take);

// Keeps the lines digest of sealed entries that had none, each only while
// its hash is still `hash`: entry -> (hash, lines digest). Best effort: a
// database opened to read, a login that may only read, or one another
// program holds just now, is left as it is.
void keepLinesDigests(QSqlDatabase db, bool server, const QHash<qint64, std::pair<QByteArray, QByteArray>>& digests);

} // namespace tvq52
