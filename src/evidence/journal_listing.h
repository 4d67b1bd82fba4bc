#pragma once

#include "core/error.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

namespace tvq52 {

class Database;

// What the journal held for one unit when its head was `head`: each record
// of `tables` that an entry sealed up to that head had listed, with the
// digest its newest listing gave, less those a deletion of the unit sealed
// up to then took away. Keyed by table + U+001F + key text, as the journal
// lists them. An error when the head is not in the chain. With `fromKey`
// and `toKey`, only the keys from one to the other (both included).
struct JournalListing {
    QHash<QString, QByteArray> digests;
};
Result<JournalListing> journalListingAt(Database& database, const QByteArray& head, qint32 serial,
                                        const QStringList& tables, const QString& fromKey = {},
                                        const QString& toKey = {});

} // namespace tvq52
