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
    // The file, then what kept it from being hashed and why it stopped,
    // each in its reader's language.
    std::vector<MessageWords> lines{MessageWords::plain(QFileInfo(sourcePath).absoluteFilePath())};
    if (!hashed.ok())
        lines.push_back(MessageWords::of(hashed.error()));
    if (result.failure.failed())
        lines.push_back(result.failedTable.isEmpty()
                            ? MessageWords::of(QStringLiteral("La fusión no ha podido empezar: %1. No se ha guardado "
                                                              "nada."),
                                               QStringList{result.failure.detail})
                            : MessageWords::of(QStringLiteral("La fusión se ha detenido en la tabla %1: %2. Las tablas "
                                                              "anteriores están guardadas; %1 y las siguientes no. "
                                                              "Vuelva a fusionar cuando se haya resuelto (lo ya "
                                                              "guardado no se repite)."),
                                               QStringList{result.failedTable, result.failure.detail}));
    else if (result.stopped())
        lines.push_back(MessageWords::of(QStringLiteral("Fusión parada en la tabla %1: las tablas anteriores están "
                                                        "guardadas; %1 y las siguientes no. Vuelva a fusionar para "
                                                        "terminar (lo ya guardado no se repite)."),
                                         QStringList{result.stoppedAt}));
    QStringList places;
    for (size_t i = 1; i <= lines.size(); ++i)
        places << QStringLiteral("%%1").arg(i);
    const MessageWords message =
        lines.size() == 1 ? lines.front() : MessageWords::of(places.join(QLatin1Char('\n')), std::move(lines));
    journal.setMessageSource(*entry, message);
    if (const Status sealed = journal.seal(*entry, journalOutcomeName(outcome), message.shown(), result.countsText());
        !sealed)
        result.sealError = untranslatedText(sealed.error());
    if (const Result<QByteArray> head = journal.head(); !head) {
        // A head that cannot be read is no empty chain: it is told with the journal's failures.
        if (result.sealError.isEmpty() && !result.failure.failed())
            result.sealError = untranslatedText(head.error());
    } else {
        result.journalHead = *head;
    }
    return result;
}

} // namespace tvq52
