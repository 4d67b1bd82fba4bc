#include "evidence/journal.h"
#include "records/record_store.h"

// The ranges a download proposes and requests, from what is stored.
namespace tvq52 {

Result<DownloadRange> proposedRange(const RecordStore& store, qint32 serial, const QDateTime& now)
{
    // Lists come newest first, so a download that did not complete stored
    // its newest records and left a gap behind them; starting at the newest
    // stored interval would leave that gap unread for good. Such a unit's
    // proposal starts before the oldest interval those downloads stored.
    const Result<std::optional<QDateTime>> before =
        Journal(store.database()).oldestIntervalSinceLastCompletedDownload(serial);
    if (!before)
        return before.error();
    const std::optional<QDateTime> from = store.newestIntervalStart(serial, *before);
    return DownloadRange::from(from ? *from : now.addDays(-60), now);
}

QDateTime sessionListStart(const QDateTime& intervalStart, const std::optional<QDateTime>& newestSession)
{
    QDateTime start = intervalStart.addDays(-1);
    if (newestSession && *newestSession < start)
        start = *newestSession;
    // A day back from the first day a request can name stays on that day.
    const QDateTime first = wallClock(QDate(kFirstRequestYear, 1, 1), QTime(0, 0));
    return start < first ? first : start;
}

DownloadRange sessionRange(const RecordStore& store, qint32 serial, const DownloadRange& range)
{
    return DownloadRange::from(sessionListStart(range.start(), store.newestSessionStart(serial)), range.end());
}

} // namespace tvq52
