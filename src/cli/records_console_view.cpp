#include "cli/records_console_view.h"

#include "cli/console_progress.h"
#include "i18n/translator.h"

namespace tvq52 {

namespace {

const char* const kRecordKindNames[kRecordKinds] = {"totales",          "borrados",   "finales de batería",
                                                    "reprogramaciones", "intervalos", "sesiones"};

} // namespace

QString recordKindName(int kind, const Translator& translator)
{
    return translator.translate(QString::fromUtf8(kRecordKindNames[kind]));
}

const char* const kRecordKindKeys[kRecordKinds] = {"totals",         "erasures",  "batteryEnds",
                                                   "reprogrammings", "intervals", "sessions"};

ConsoleRecordsView::ConsoleRecordsView(qint32 shown, std::optional<QDateTime> from, std::optional<QDateTime> to,
                                       ConsoleProgress* progress, const Translator* translator)
    : shown_(shown), from_(std::move(from)), to_(std::move(to)), progress_(progress), translator_(translator)
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
    if (!progress_ || !translator_)
        return;
    const Translator& translator = *translator_;
    const KindCounts& c = p.counts[int(p.current)];
    QString line = translator.translate(QStringLiteral("%1: %2 recibidos"))
                       .arg(recordKindName(int(p.current), translator))
                       .arg(c.received);
    if (p.recordsPerSecond > 0)
        line += translator.translate(QStringLiteral(", %1 registros/s")).arg(p.recordsPerSecond, 0, 'f', 1);
    if (p.msLeft)
        line += translator.translate(QStringLiteral(", quedan unos %1 s")).arg((*p.msLeft + 999) / 1000);
    progress_->update(line);
}

QString ConsoleRecordsView::summaryLine() const
{
    if (!translator_)
        return {};
    QStringList kinds;
    for (int k = 0; k < kRecordKinds; ++k)
        kinds << QStringLiteral("%1 %2").arg(last_.counts[k].received).arg(recordKindName(k, *translator_));
    QString line = translator_->translate(QStringLiteral("recibidos: %1")).arg(kinds.join(QStringLiteral(", ")));
    if (last_.recordsPerSecond > 0)
        line += translator_->translate(QStringLiteral("; %1 registros/s")).arg(last_.recordsPerSecond, 0, 'f', 1);
    return line;
}

DownloadRange ConsoleRecordsView::rangeForConnectedUnit(const DownloadRange& chosen, const DownloadRange& unitProposal)
{
    if (requested_ != kUnitOnTheLine)
        return RecordsView::rangeForConnectedUnit(chosen, unitProposal);
    return DownloadRange::from(from_.value_or(unitProposal.start()), to_.value_or(unitProposal.end()));
}

} // namespace tvq52
