#pragma once

#include "cli/command_args.h"

namespace tvq52 {

struct CliSession;
struct CliOptions;

const CommandSyntax& identifySyntax();
// Runs the exchange order on the configured line, identifies the unit and
// prints what it said. 0 on success, 1 when the exchange failed, 3 when the
// user cancelled.
int runIdentify(CliSession& session, const CliOptions& options, const CommandArgs& args);

} // namespace tvq52
