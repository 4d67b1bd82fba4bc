#include "evidence/journaled_merge.h"

#include "core/own_words.h"
#include "db/database.h"
#include "db/database_failure.h"
#include "evidence/journal.h"

#include <QFileInfo>

namespace tvq52 {

MergeResult mergeDatabase(Database& target, const QString& sourcePath, const MergeProgress& progress,
                          const MergeStop& stop)
{
    MergeResult result;
    if (const Status allowed = checkRight(target, Operation::Merge); !allowed) {
        result.failure = databaseFailureOf(allowed.error());
        return result;
    }
    result.fault = mergeRefusal(target, sourcePath);
    if (result.fault != MergeResult::Fault::None)
        return result;
    // The entry is open before any row is added. A PC's own file moved into
    // a server is SQLite's to read alone: it goes without a file hash.
    Journal journal(target);
    const auto hashed = fileSha256(sourcePath, target);
    const QByteArray source = hashed.ok() ? *hashed : QByteArray();
    const QString hashError = hashed.ok() ? QString() : untranslatedText(hashed.error());
    const Result<qint64> entry = journal.open(JournalAction::Merge, 0, QString(), source);
    if (!entry) {
        // A full, locked or read-only target is told as such: the merge did not start.
        const DatabaseFailure f = journal.failureOf(entry.error());
        if (f.kind != DatabaseFailure::Kind::Other) {
            result.failure = f;
        } else {
            result.fault = MergeResult::Fault::Journal;
            result.detail = untranslatedText(entry.error());
        }
        return result;
    }
    mergeRows(target, sourcePath, *entry, result, progress, stop);
    const JournalOutcome outcome = result.complete()   ? JournalOutcome::Completed
        : result.stopped() && !result.failure.failed() ? JournalOutcome::Stopped
                                                       : JournalOutcome::Failed;
    if (const Status sealed = journal.seal(*entry, journalOutcomeName(outcome),
                                           QFileInfo(sourcePath).absoluteFilePath()
                                               + (source.isEmpty() ? QLatin1Char('\n') + hashError : QString()),
                                           result.countsText());
        !sealed)
        result.sealError = untranslatedText(sealed.error());
    result.journalHead = journal.head();
    return result;
}

} // namespace tvq52
