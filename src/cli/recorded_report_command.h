#pragma once

#include "cli/command_args.h"

namespace tvq52 {

struct CliOptions;
struct CliSession;

// "report intervals|sessions|exceedances SERIAL --from WHEN --to WHEN --pdf FILE":
// the report window's reports, written as PDF.
int runRecordedReport(CliSession& session, const CommandArgs& args);
// What is wrong with the words of such a report, if anything.
std::optional<Error> recordedReportFault(const CommandArgs& args);

const CommandSyntax& csvSyntax();
// "csv intervals|sessions SERIAL [--from WHEN] [--to WHEN] [--machine|--json]":
// the grid as the recorded-data window exports it, on standard output.
int runCsv(CliSession& session, const CliOptions& options, const CommandArgs& args);

} // namespace tvq52
