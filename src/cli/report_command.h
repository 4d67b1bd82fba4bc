#pragma once

#include "cli/command_args.h"

namespace tvq52 {

struct CliOptions;
struct CliSession;

const CommandSyntax& reportSyntax();
// "report programming SERIAL --pdf FILE": the programming report of a stored
// unit written to a PDF, built by the same code as the programming window's;
// the other kinds are the report window's (runRecordedReport).
int runReport(CliSession& session, const CliOptions& options, const CommandArgs& args);

} // namespace tvq52
