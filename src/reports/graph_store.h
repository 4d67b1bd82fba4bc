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

// Every interval of a unit for the whole-history graph: only the columns it
// draws, oldest first.
Result<HistoryData> loadHistory(Database& database, qint32 serial);

} // namespace tvq52
