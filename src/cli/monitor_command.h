#pragma once

namespace tvq52 {

struct CliOptions;
struct CliSession;

// "monitor [--count N] [--serial N]": one reading a line until interrupted
// (Ctrl-C) or after N readings.
int runMonitor(CliSession& session, const CliOptions& options);

} // namespace tvq52
