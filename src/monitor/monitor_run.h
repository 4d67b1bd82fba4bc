#pragma once

#include "monitor/real_time_reading.h"

#include <optional>

namespace tvq52 {

class DeviceLink;
class ExchangeSession;
class LinkTimer;
class Translator;
class Prompter;

// What a run of the monitor changes on its window (or terminal).
class MonitorView {
public:
    virtual ~MonitorView() = default;
    // The line is about to come up: start hidden, stop shown, close and help off.
    virtual void runStarted() = 0;
    virtual void showReading(const RealTimeReading& reading) = 0;
    // Start shown, stop hidden, close and help on.
    virtual void runEnded() = 0;
    // A close asked for during the run, carried out now that it has ended.
    virtual void closeWindow() {}
};

// The real-time monitor's exchange: identification, the stream request, then
// each reading shown and acknowledged after a 50 ms pause, until stopped.
class RealTimeMonitor {
public:
    static constexpr qint64 kAckPauseMs = 50;

    RealTimeMonitor(ExchangeSession& session, Prompter& prompter, const Translator& translator, MonitorView& view);

    // SSCommandRun. `expectedSerial` is the record's serial number the unit
    // must have (none: any unit). Returns the number of readings shown.
    int run(const QString& phoneNumber, std::optional<qint32> expectedSerial);
    // SSCommandStop: also ends a modem dial in progress.
    void stop();
    // SSCommandExit: true when the window may close at once; during a run
    // the run is stopped and the window closes when it has ended.
    bool requestClose();

    bool isRunning() const { return running_; }
    // Whether the last run streamed until it was stopped, with no fault
    // (cancel, dial, identification, wrong unit, a broken stream) on the way.
    bool endedByStop() const { return endedByStop_; }
    bool closeRequested() const { return closeRequested_; }

private:
    void readStream(std::optional<qint32> expectedSerial, int& shown);

    DeviceLink& link_;
    LinkTimer& timer_;
    Prompter& prompter_;
    const Translator& translator_;
    MonitorView& view_;
    bool running_ = false;
    bool closeRequested_ = false;
    bool endedByStop_ = false;
};

} // namespace tvq52
