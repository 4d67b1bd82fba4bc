#pragma once

#include "cli/command_args.h"

namespace tvq52 {

struct AppContext;
struct CliOptions;
struct CliSession;

const CommandSyntax& fleetSyntax();
// The settings file's FleetStaleDays, or 30 when it has none.
int fleetStaleDaysSetting(const AppContext& ctx);
// "fleet [--days N] [--json | --csv] [--verify]": every unit of the office,
// the most urgent first.
int runFleet(CliSession& session, const CliOptions& options, const CommandArgs& args);

} // namespace tvq52
