#pragma once

// What the download benchmarks share: the recorded-data window as a
// download sees it, asked nothing.

#include "records/records_view.h"

namespace tvq52::bench {

// Shows the unit on the line and downloads the whole last year of it.
class DownloadView : public RecordsView {
public:
    explicit DownloadView(qint32 serial) : serial_(serial) {}

    qint32 shownSerial() const override { return serial_; }
    std::optional<DownloadRange> chooseRange(const DownloadRange& p) override
    {
        return DownloadRange::from(p.start().addYears(-1), p.end().addDays(1));
    }
    bool showUnit(qint32) override { return true; }
    void showFirmware(const QString&) override {}
    void showTotals(const TotalsReading&) override {}
    void ToggleButtons() override {}
    void downloadProgress(const DownloadProgress&) override { ++updates; }

    int updates = 0;

private:
    qint32 serial_;
};

} // namespace tvq52::bench
