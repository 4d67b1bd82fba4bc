#pragma once

#include "core/error.h"
#include "evidence/exchange_provenance.h"

#include <QList>

namespace tvq52 {

class Database;

// The sealed journal entries that stored the unit's records, each record
// counted with the newest entry that listed it, in entry order; records no
// sealed entry listed are counted under entry 0. Reads only the unit's own
// entries and those of no unit (imports, merges, adoptions), each through
// the index on its entry number, and the unit's keys.
Result<QList<SourceEntry>> unitSourceEntries(Database& database, qint32 serial);

} // namespace tvq52
