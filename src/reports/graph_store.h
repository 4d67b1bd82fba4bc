#pragma once

#include "core/error.h"
#include "reports/history_graph_data.h"
#include "reports/level_graph.h"

#include <QList>
#include <QString>

namespace tvq52 {

class Database;

// Every interval of a unit for the graph window, oldest first; a database
// failure carries the database's words as its detail.
Result<QList<GraphRecord>> loadGraphRecords(Database& database, qint32 serial);
// How many intervals the unit has, and `count` of them from the one with
// number `first` (0 the oldest) of the `total`: the graph window reads
// only the records it shows.
Result<qint64> countGraphRecords(Database& database, qint32 serial);
Result<QList<GraphRecord>> loadGraphRecords(Database& database, qint32 serial, qint64 first, int count, qint64 total);

// Every interval of a unit for the whole-history graph: only the columns it
// draws, oldest first.
Result<HistoryData> loadHistory(Database& database, qint32 serial);

} // namespace tvq52
