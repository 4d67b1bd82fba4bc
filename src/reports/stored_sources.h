#pragma once

#include "reports/report.h"

namespace tvq52 {

class Database;

// The record sources the templates name, read through the report store:
// "programming", "reprogrammings", "erasures", "battery-ends" by the
// parameter "serial"; "intervals" and "sessions" by "serial", "from" and "to".
ReportSources storedSources(Database& database);

} // namespace tvq52
