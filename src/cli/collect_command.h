#pragma once

#include "cli/command_args.h"

namespace tvq52 {

struct CliOptions;
struct CliSession;

const CommandSyntax& collectSyntax();
// "collect FILE": one download by modem per serial number listed.
int runCollect(CliSession& session, const CliOptions& options, const CommandArgs& args);

} // namespace tvq52
