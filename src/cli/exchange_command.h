#pragma once

#include "cli/command_args.h"

namespace tvq52 {

struct CliOptions;
struct CliSession;

const CommandSyntax& importSyntax();
// "import FILE.TQ52": adds the file's records the database lacks.
int runImport(CliSession& session, const CliOptions& options, const CommandArgs& args);

const CommandSyntax& exportSyntax();
// "export FILE.TQ52 SERIAL...": writes the units' stored records.
int runExport(CliSession& session, const CliOptions& options, const CommandArgs& args);

} // namespace tvq52
