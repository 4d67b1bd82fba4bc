#pragma once

#include "cli/command_args.h"

namespace tvq52 {

struct CliOptions;
struct CliSession;

const CommandSyntax& rolesSyntax();
// "roles setup|grant LOGIN LEVEL|revoke LOGIN|list [--json]": the office
// roles of the server database --database or the settings name.
int runRoles(CliSession& session, const CliOptions& options, const CommandArgs& args);

} // namespace tvq52
