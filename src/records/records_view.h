#pragma once

#include "records/recorded_data.h"

#include <optional>

namespace tvq52 {

// What a download shows while it runs, for a progress display.
struct DownloadProgress {
    RecordKind current = RecordKind::Totals;
    DownloadCounts counts{};
    int frames = 0;               // every frame received, end frames too
    double recordsPerSecond = 0;  // interval and session frames
    std::optional<qint64> msLeft; // the current list's, estimated from its records' stamps
};

// What the download needs of the recorded-data window: the unit shown, the
// range picker, the loader and the buttons. The window implements it over
// its widgets, the command line over plain values.
class RecordsView {
public:
    virtual ~RecordsView() = default;

    // The serial number shown, 0 when none.
    virtual qint32 shownSerial() const = 0;
    // The only unit to download, when the caller dialled a given one; 0: whichever answers.
    virtual qint32 expectedSerial() const { return 0; }
    // The range picker with its proposal for the shown unit; nothing when cancelled.
    virtual std::optional<DownloadRange> chooseRange(const DownloadRange& proposal) = 0;
    // Shows a stored unit; false when the database does not hold it.
    virtual bool showUnit(qint32 serial) = 0;
    virtual void showFirmware(const QString& firmware) = 0;
    virtual void showTotals(const TotalsReading& totals) = 0;
    // Inverts the enabled state of the nine command buttons.
    virtual void ToggleButtons() = 0;

    // The line is about to come up: the stop button and the progress display show.
    virtual void downloadStarted() {}
    virtual void downloadProgress(const DownloadProgress& progress) {}
    // The line is down: the download button is back and the unit reloaded.
    virtual void downloadFinished() {}

    // The unit that answered is not the one the range was chosen for. Its
    // records from the chosen start on are read, and from its own proposal
    // on when that is earlier, so that none of its unread records is cut off.
    virtual DownloadRange rangeForConnectedUnit(const DownloadRange& chosen, const DownloadRange& unitProposal)
    {
        if (unitProposal.start() < chosen.start())
            return DownloadRange::from(unitProposal.start(), chosen.end());
        return chosen;
    }
};

} // namespace tvq52
