#include "monitor/monitor_run.h"

#include "core/catalogue_ids.h"
#include "core/prompter.h"
#include "i18n/catalogue_message.h"
#include "link/clock.h"
#include "link/device_link.h"
#include "link/exchange.h"
#include "link/exchange_session.h"
#include "link/frame.h"
#include "link/line.h"
#include "link/link_timer.h"
#include "link/unit_identity.h"

namespace tvq52 {

RealTimeMonitor::RealTimeMonitor(ExchangeSession& session, Prompter& prompter, const Translator& translator,
                                 MonitorView& view)
    : link_(session.link()), timer_(session.timer()), prompter_(prompter), translator_(translator), view_(view)
{}

int RealTimeMonitor::run(const QString& phoneNumber, std::optional<qint32> expectedSerial)
{
    int shown = 0;
    closeRequested_ = false;
    endedByStop_ = false;
    const ExchangeResult exchange = runExchange(
        link_, catalogueAsker(prompter_, translator_), phoneNumber, [&] { readStream(expectedSerial, shown); },
        [this] {
            running_ = true;
            view_.runStarted();
        });
    if (const Error* error = exchange.errorToShow())
        showError(prompter_, translator_, *error);
    running_ = false;
    view_.runEnded();
    if (closeRequested_)
        view_.closeWindow();
    return shown;
}

void RealTimeMonitor::readStream(std::optional<qint32> expectedSerial, int& shown)
{
    const Result<UnitIdentity> identified = identifyConnectedUnit(link_, timer_);
    if (!identified) {
        showFailure(prompter_, translator_, identified.status());
        return;
    }
    if (expectedSerial && identified->serial != *expectedSerial) {
        showCatalogue(prompter_, translator_, msg::WrongUnit, MessageStyle::Information);
        return;
    }
    link_.SendFrame(frameWithoutCheck(kRealTimeCommand));
    bool fault = false;
    while (running_) {
        if (Status received = link_.ReceiveFrame(timer_); !received) {
            showFailure(prompter_, translator_, received);
            fault = true;
            break;
        }
        // A stop while the reading arrived discards it.
        if (!running_)
            break;
        const auto reading = decodeReading(link_.frame().data(), int(link_.frame().size()));
        if (!reading) {
            showCatalogue(prompter_, translator_, msg::TransmissionTimeout, MessageStyle::Critical);
            fault = true;
            break;
        }
        view_.showReading(*reading);
        ++shown;
        link_.clock().waitFor(kAckPauseMs);
        link_.line().write(QByteArray(1, char(kAck)));
    }
    running_ = false;
    endedByStop_ = !fault;
    link_.line().write(QByteArray(1, char(kCan)));
}

void RealTimeMonitor::stop()
{
    running_ = false;
    link_.cancelDial();
}

bool RealTimeMonitor::requestClose()
{
    if (!running_)
        return true;
    stop();
    closeRequested_ = true;
    return false;
}

} // namespace tvq52
