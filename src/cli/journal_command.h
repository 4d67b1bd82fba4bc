#pragma once

#include "cli/command_args.h"

namespace tvq52 {

struct CliOptions;
struct CliSession;

const CommandSyntax& verifySyntax();
// "verify [SERIAL] [--head HASH]": the exchange journal checked against the stored records.
int runVerify(CliSession& session, const CliOptions& options, const CommandArgs& args);

const CommandSyntax& journalSyntax();
// "journal [--serial N]": the journal's entries, newest first.
int runJournal(CliSession& session, const CliOptions& options, const CommandArgs& args);

} // namespace tvq52
