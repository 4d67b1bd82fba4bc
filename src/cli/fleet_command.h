#pragma once

#include "cli/command_args.h"

namespace tvq52 {

struct CliOptions;
struct CliSession;

const CommandSyntax& fleetSyntax();
// "fleet [--days N] [--json | --csv] [--verify]": every unit of the office,
// the most urgent first.
int runFleet(CliSession& session, const CliOptions& options, const CommandArgs& args);

} // namespace tvq52
