#include "cli/merge_command.h"

#include "cli/cli_session.h"
#include "exchange/database_merge_workflow.h"

#include <QTextStream>

namespace tvq52 {

int runMerge(CliSession& session, const CliOptions& options)
{
    QTextStream err(stderr);
    if (options.command.size() != 2) {
        err << "tvq52-cli: usage: merge FILE.db" << Qt::endl;
        return 2;
    }
    AppContext& ctx = *session.ctx;
    if (!openFolderDatabase(ctx))
        return 1;
    const QString source = options.command[1];
    const MergeResult result = mergeDatabase(*ctx.db, source);
    // Counts on standard output; a file that could not be read on standard error.
    QTextStream(result.fault == MergeResult::Fault::None ? stdout : stderr)
        << mergeSummaryText(ctx.guru, source, result) << Qt::endl;
    return result.complete() ? 0 : 1;
}

} // namespace tvq52
