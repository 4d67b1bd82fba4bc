#pragma once

#include "cli/command_args.h"

namespace tvq52 {

struct CliOptions;
struct CliSession;

const CommandSyntax& mergeSyntax();
// "merge FILE.db": the records of another database of this program, added
// by the same merge as the file button; prints the rows per table.
int runMerge(CliSession& session, const CliOptions& options, const CommandArgs& args);

} // namespace tvq52
