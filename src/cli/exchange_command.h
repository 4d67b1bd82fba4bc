#pragma once

namespace tvq52 {

struct CliOptions;
struct CliSession;

// "import FILE.TQ52": the exchange file's missing records into the database;
// prints the summary; exit status 1 when the file could not be read at all.
int runImport(CliSession& session, const CliOptions& options);
// "export FILE.TQ52 SERIAL...": the units' records as an exchange file.
int runExport(CliSession& session, const CliOptions& options);

} // namespace tvq52
