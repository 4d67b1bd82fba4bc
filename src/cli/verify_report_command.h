#pragma once

#include "cli/command_args.h"

namespace tvq52 {

struct CliOptions;
struct CliSession;

const CommandSyntax& verifyReportSyntax();
// "verify-report FILE.pdf [--json]": the records a report printed against
// the database and its journal as they are now.
int runVerifyReport(CliSession& session, const CliOptions& options, const CommandArgs& args);

} // namespace tvq52
