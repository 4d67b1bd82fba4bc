#include "cli/records_console_view.h"

#include "cli/console_progress.h"

namespace tvq52 {

const char* const kRecordKindNames[kRecordKinds] = {"totals",         "erasures",  "battery ends",
                                                    "reprogrammings", "intervals", "sessions"};
const char* const kRecordKindKeys[kRecordKinds] = {"totals",         "erasures",  "batteryEnds",
                                                   "reprogrammings", "intervals", "sessions"};

ConsoleRecordsView::ConsoleRecordsView(qint32 shown, std::optional<QDateTime> from, std::optional<QDateTime> to,
                                       ConsoleProgress* progress)
    : shown_(shown), from_(std::move(from)), to_(std::move(to)), progress_(progress)
{}

std::optional<DownloadRange> ConsoleRecordsView::chooseRange(const DownloadRange& proposal)
{
    return DownloadRange::from(from_.value_or(proposal.start()), to_.value_or(proposal.end()));
}

bool ConsoleRecordsView::showUnit(qint32 serial)
{
    shown_ = serial;
    return true;
}

void ConsoleRecordsView::downloadProgress(const DownloadProgress& p)
{
    last_ = p;
    if (!progress_)
        return;
    const KindCounts& c = p.counts[int(p.current)];
    QString line =
        QStringLiteral("%1: %2 received").arg(QLatin1String(kRecordKindNames[int(p.current)])).arg(c.received);
    if (p.recordsPerSecond > 0)
        line += QStringLiteral(", %1 records/s").arg(p.recordsPerSecond, 0, 'f', 1);
    if (p.msLeft)
        line += QStringLiteral(", about %1 s left").arg((*p.msLeft + 999) / 1000);
    progress_->update(line);
}

QString ConsoleRecordsView::summaryLine() const
{
    QStringList kinds;
    for (int k = 0; k < kRecordKinds; ++k)
        kinds << QStringLiteral("%1 %2").arg(last_.counts[k].received).arg(QLatin1String(kRecordKindNames[k]));
    QString line = QStringLiteral("received: ") + kinds.join(QStringLiteral(", "));
    if (last_.recordsPerSecond > 0)
        line += QStringLiteral("; %1 records/s").arg(last_.recordsPerSecond, 0, 'f', 1);
    return line;
}

DownloadRange ConsoleRecordsView::rangeForConnectedUnit(const DownloadRange& chosen, const DownloadRange& unitProposal)
{
    if (requested_ != kUnitOnTheLine)
        return RecordsView::rangeForConnectedUnit(chosen, unitProposal);
    return DownloadRange::from(from_.value_or(unitProposal.start()), to_.value_or(unitProposal.end()));
}

} // namespace tvq52
