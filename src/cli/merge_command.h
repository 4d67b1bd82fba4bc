#pragma once

namespace tvq52 {

struct CliOptions;
struct CliSession;

// "merge FILE.db": the records of another database of this program, added
// by the same merge as the file button; prints the rows per table.
int runMerge(CliSession& session, const CliOptions& options);

} // namespace tvq52
