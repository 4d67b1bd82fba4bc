#pragma once

#include "cli/command_args.h"

namespace tvq52 {

struct CliOptions;
struct CliSession;

// "key create|import|show|certificate": this PC's signing key and certificate.
const CommandSyntax& keySyntax();
int runKey(CliSession& session, const CliOptions& options, const CommandArgs& args);

// "trust add|list|remove": the other offices' certificates and the
// authorities trusted for an organization.
const CommandSyntax& trustSyntax();
int runTrust(CliSession& session, const CliOptions& options, const CommandArgs& args);

} // namespace tvq52
