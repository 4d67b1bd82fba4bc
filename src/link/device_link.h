#pragma once

#include "core/error.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>

namespace tvq52 {

struct LinkState;
class Line;
class Clock;
class LinkTimer;

// Text read from the line or typed by the user as it may be shown: control
// bytes as "?", so that it cannot upset a terminal or a message box.
QString printable(QString text);

// Result of ConnectModem.
enum class ModemResult : std::uint8_t { Connected = 1, Failed = 2 };

// The link operations over one line: opening it, the modem call, sending and
// receiving frames and identifying the unit. They read and fill the shared
// LinkState and return what went wrong (its catalogue text) for the
// workflow to show, so each window reports a link failure the same way.
class DeviceLink {
public:
    DeviceLink(LinkState& state, Line& line, Clock& clock);

    LinkState& state() const { return state_; }
    Line& line() const { return line_; }
    Clock& clock() const { return clock_; }

    // Direct cable: the configured device at 19200,n,8,1, opened if closed.
    // Fails with the device and its error when it cannot be opened.
    Status OpenLine();
    // The modem's line settings: ModemSpeed,n,8,1 on the configured device.
    void setModemLineSettings();
    // Opens the line with its current settings if it is closed.
    Status openPort();
    void closePort();

    // Escapes to command mode, dials `phoneNumber` and waits up to 60 s for
    // the modem's answer (ended early by DialCancel). A failure is handed to
    // `failed` before the modem's 10-second settling pause, so that the user
    // hears of it at once rather than after the pause.
    ModemResult ConnectModem(const QString& phoneNumber, const std::function<void()>& failed = {});

    // Waits whole seconds without reacting to the user.
    void Delay(int seconds);

    // Writes the bytes and waits on the clock until the line has handed them
    // to the device; false when it has not within `limitMs`.
    bool writeHandedOver(const QByteArray& bytes, qint64 limitMs);

    // Writes the bytes one by one, then their XOR.
    void SendFrame(const QByteArray& frameWithoutCheck);
    void RequestIdentity();
    // Reads one frame into FrameBuffer. Fails with 31 on time-out (or a
    // length the buffer cannot hold), 62 on a wrong check byte; a stop fails
    // with nothing to tell.
    Status ReceiveFrame(LinkTimer& timer);
    // ReceiveFrame, then the reply decoded into the unit fields.
    Status IdentifyUnit(LinkTimer& timer);

private:
    enum class WaitEnd { Byte, Timeout, Stop };
    WaitEnd waitForByte(LinkTimer& timer);

    LinkState& state_;
    Line& line_;
    Clock& clock_;
};

} // namespace tvq52
