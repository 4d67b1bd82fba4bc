#pragma once

#include "core/error.h"
#include "evidence/exchange_provenance.h"

#include <QByteArray>
#include <QList>
#include <map>
#include <string_view>
#include <utility>
#include <vector>

namespace tvq52 {

class Database;
struct TableDef;

// The sealed journal entries that stored a unit's records, each record
// counted with the newest entry that listed it, as the records go by: the
// export reads the unit's keys once, with its rows. Records no sealed entry
// listed are counted under entry 0.
class UnitSources {
public:
    // Reads which entry listed each of the unit's records last: only the
    // unit's own entries and those of no unit (imports, merges, adoptions),
    // each through the index on its entry number.
    static Result<UnitSources> read(Database& database, qint32 serial);

    // Whether the table's records are listed by entries at all.
    static bool listed(const TableDef& table);
    // The next record of `table`; `key` is its key's values as the journal
    // lists them (canonical texts, blank separated), in UTF-8.
    void count(const TableDef& table, std::string_view key);
    // The entries counted, in entry order, as the file carries them.
    Result<QList<SourceEntry>> entries(Database& database) const;

private:
    // Two independent hashes of "table, separator, key": a unit of a
    // million records keeps 24 bytes for each, not its key texts.
    using Hashed = std::pair<quint64, quint64>;
    Hashed hashed(QByteArrayView listing) const;

    qint32 serial_ = 0;
    std::vector<std::pair<Hashed, qint64>> newest_; // sorted: record -> newest entry
    std::map<qint64, qint64> counts_;  // entry -> records
    QByteArray lookup_;
};

} // namespace tvq52
