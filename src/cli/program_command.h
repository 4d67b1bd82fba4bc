#pragma once

#include "cli/command_args.h"

namespace tvq52 {

struct CliOptions;
struct CliSession;

const CommandSyntax& programSyntax();
// "program get [--save]": receives the unit's programming and prints it; with
// --save it is kept as the receive workflow leaves it. "program put SERIAL":
// transmits the stored record of that unit.
int runProgram(CliSession& session, const CliOptions& options, const CommandArgs& args);

} // namespace tvq52
