#pragma once

#include "cli/command_args.h"

namespace tvq52 {

struct CliOptions;
struct CliSession;

const CommandSyntax& configSyntax();
// "config get KEY" prints a setting of the data folder; "config set KEY
// VALUE" writes it. Only the keys the program reads are accepted.
int runConfig(CliSession& session, const CliOptions& options, const CommandArgs& args);

} // namespace tvq52
