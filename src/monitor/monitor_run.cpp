#include "monitor/monitor_run.h"

#include "app/prompter.h"
#include "i18n/loc_guru.h"
#include "link/clock.h"
#include "link/device_link.h"
#include "link/exchange.h"
#include "link/frame.h"
#include "link/line.h"
#include "link/link_state.h"
#include "link/link_timer.h"
#include "link/unit_identity.h"

namespace tvq52 {

RealTimeMonitor::RealTimeMonitor(DeviceLink& link, LinkTimer& timer, MonitorView& view)
    : link_(link), timer_(timer), view_(view)
{
}

int RealTimeMonitor::run(const QString& phoneNumber, std::optional<qint32> expectedSerial)
{
    int shown = 0;
    closeRequested_ = false;
    endedByStop_ = false;
    const ExchangeHooks hooks{[this] {
                                  running_ = true;
                                  view_.runStarted();
                              },
                              {}};
    runExchange(link_, phoneNumber, [&] { readStream(expectedSerial, shown); }, hooks);
    running_ = false;
    view_.runEnded();
    if (closeRequested_)
        view_.closeWindow();
    return shown;
}

void RealTimeMonitor::readStream(std::optional<qint32> expectedSerial, int& shown)
{
    LinkState& s = link_.state();
    link_.RequestIdentity();
    if (!link_.IdentifyUnit(timer_))
        return;
    if (!isTvq52Type(s.UnitType)) {
        showCatalogue(link_.prompter(), link_.guru(), 30, MessageStyle::Critical);
        return;
    }
    if (expectedSerial && s.UnitSerial != *expectedSerial) {
        showCatalogue(link_.prompter(), link_.guru(), 63, MessageStyle::Information);
        return;
    }
    link_.SendFrame(frameWithoutCheck(kRealTimeCommand));
    bool fault = false;
    while (running_) {
        if (!link_.ReceiveFrame(timer_)) {
            fault = true;
            break;
        }
        // A stop while the reading arrived discards it.
        if (!running_)
            break;
        const auto reading = decodeReading(s.FrameBuffer.data(), s.FrameLength);
        if (!reading) {
            showCatalogue(link_.prompter(), link_.guru(), 31, MessageStyle::Critical);
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
    link_.state().DialCancel = true;
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
