#pragma once

#include "cli/command_args.h"

namespace tvq52 {

struct CliOptions;
struct CliSession;

const CommandSyntax& monitorSyntax();
// "monitor [--count N] [--serial N]": one reading a line until interrupted
// (Ctrl-C) or after N readings.
int runMonitor(CliSession& session, const CliOptions& options, const CommandArgs& args);

} // namespace tvq52
