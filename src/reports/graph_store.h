#pragma once

#include "reports/history_graph_data.h"
#include "reports/level_graph.h"

#include <QList>
#include <QString>

namespace tvq52 {

class Database;

// Every interval of a unit for the graph window, oldest first; false with
// `error` on a database error.
bool loadGraphRecords(Database& database, qint32 serial, QList<GraphRecord>* records, QString* error);

// Every interval of a unit for the whole-history graph: only the columns it
// draws, oldest first.
bool loadHistory(Database& database, qint32 serial, HistoryData* data, QString* error);

} // namespace tvq52
