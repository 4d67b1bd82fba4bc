#pragma once

#include "records/records_view.h"

#include <QDateTime>
#include <limits>
#include <optional>

namespace tvq52 {

class ConsoleProgress;
class Translator;

// No unit is shown before the one on the line has identified itself, so
// the workflow always switches to it; no real serial number is this.
inline constexpr qint32 kUnitOnTheLine = std::numeric_limits<qint32>::min();

// The kinds of records as --json keys them.
extern const char* const kRecordKindKeys[kRecordKinds];
// A kind of record as people read it, in the translator's language.
QString recordKindName(int kind, const Translator& translator);

// The recorded-data window reduced to plain values for the terminal.
class ConsoleRecordsView : public RecordsView {
public:
    // `progress` null: no progress at all; its lines are in `translator`'s language.
    ConsoleRecordsView(qint32 shown, std::optional<QDateTime> from, std::optional<QDateTime> to,
                       ConsoleProgress* progress, const Translator* translator = nullptr);

    qint32 shownSerial() const override { return shown_; }
    std::optional<DownloadRange> chooseRange(const DownloadRange& proposal) override;
    bool showUnit(qint32 serial) override;
    void showFirmware(const QString&) override {}
    void showTotals(const TotalsReading&) override {}
    void ToggleButtons() override {}
    void downloadProgress(const DownloadProgress& p) override;
    // Options name the range for whichever unit answers; without them the
    // unit's own proposal counts, worked out once it is known.
    DownloadRange rangeForConnectedUnit(const DownloadRange& chosen, const DownloadRange& unitProposal) override;

    // What the download received, per kind, for the line that ends its progress.
    QString summaryLine() const;

    void expect(qint32 serial) { requested_ = serial; }
    qint32 expectedSerial() const override { return requested_ == kUnitOnTheLine ? 0 : requested_; }

private:
    qint32 shown_;
    qint32 requested_ = kUnitOnTheLine;
    std::optional<QDateTime> from_, to_;
    ConsoleProgress* progress_;
    const Translator* translator_;
    DownloadProgress last_;
};

} // namespace tvq52
