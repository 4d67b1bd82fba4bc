#pragma once

namespace tvq52 {

struct CliOptions;
struct CliSession;

// "report programming SERIAL --pdf FILE": the programming report of a stored
// unit written to a PDF, built by the same code as the programming window's.
int runReport(CliSession& session, const CliOptions& options);

} // namespace tvq52
