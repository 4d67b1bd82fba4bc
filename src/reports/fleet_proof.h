#pragma once

#include "core/error.h"
#include "records/fleet.h"
#include "reports/fleet_report.h"

namespace tvq52 {

class Database;
class Translator;

// The overview read at `options.now` (to the second), laid out as a table
// with its proof and a footer of the user's text, the digest of the units
// shown and the journal's head.
Result<FleetTable> provenFleetTable(Database& database, const Translator& translator, FleetOptions options,
                                    const QString& footer);

} // namespace tvq52
