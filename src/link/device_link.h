#pragma once

#include "core/error.h"
#include "link/line_settings.h"
#include "link/unit_identity.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <span>

namespace tvq52 {

class Line;
class Clock;
class LinkTimer;

// Text read from the line or typed by the user as it may be shown: control
// bytes as "?", so that it cannot upset a terminal or a message box.
QString printable(QString text);

// Room for the largest frame exchanged (the 377-byte programming
// transmission) with margin; a longer frame is refused, never written past.
inline constexpr std::size_t kFrameBufferSize = 512;

// Result of ConnectModem.
enum class ModemResult : std::uint8_t { Connected = 1, Failed = 2 };

// The link operations over one line: opening it, the modem call, sending and
// receiving frames and identifying the unit. They keep the last frame and
// the last identification to themselves and return what went wrong (its
// catalogue text) for the workflow to show, so each window reports a link
// failure the same way.
class DeviceLink {
public:
    DeviceLink(LineSettings settings, Line& line, Clock& clock);

    // This link's own copy, adjusted before the exchange when it differs.
    LineSettings& settings() { return settings_; }
    const LineSettings& settings() const { return settings_; }
    Line& line() const { return line_; }
    Clock& clock() const { return clock_; }

    // The frame last received, STX first; empty when the last receive failed.
    std::span<const std::uint8_t> frame() const { return {frame_.data(), std::size_t(frameLength_)}; }
    // The unit as it last identified itself on this link: all zero before.
    const UnitIdentity& unit() const { return unit_; }

    // Ends the wait for a byte at once; the receive then fails with nothing
    // to tell. It holds until clearStop(). A dial goes on: a download stopped
    // while the modem calls ends once the call is up.
    void requestStop() { stopRequested_ = true; }
    void clearStop() { stopRequested_ = false; }
    bool stopRequested() const { return stopRequested_; }
    // Ends the wait for the modem's answer at once: the dial fails. The
    // next dial starts afresh.
    void cancelDial() { dialCancelled_ = true; }
    bool dialCancelled() const { return dialCancelled_; }

    // Direct cable: the configured device at 19200,n,8,1, opened if closed.
    // Fails with the device and its error when it cannot be opened.
    Status OpenLine();
    // The modem's line settings: ModemSpeed,n,8,1 on the configured device.
    void setModemLineSettings();
    // Opens the line with its current settings if it is closed.
    Status openPort();
    void closePort();

    // Escapes to command mode, dials `phoneNumber` and waits up to 60 s for
    // the modem's answer (ended early by cancelDial()). A failure is handed to
    // `failed` before the modem's 10-second settling pause, so that the user
    // hears of it at once rather than after the pause.
    ModemResult ConnectModem(const QString& phoneNumber, const std::function<void()>& failed = {});

    // Waits whole seconds without reacting to the user.
    void Delay(int seconds);

    // Writes the bytes and waits on the clock until the line has handed them
    // to the device; fails with 31 and the line's name when it has not
    // within `limitMs`.
    Status writeHandedOver(const QByteArray& bytes, qint64 limitMs);

    // Writes the bytes one by one, then their XOR.
    void SendFrame(const QByteArray& frameWithoutCheck);
    void RequestIdentity();
    // Reads one frame into frame(). Fails with 31 on time-out (or a
    // length the buffer cannot hold), 62 on a wrong check byte; a stop fails
    // with nothing to tell.
    Status ReceiveFrame(LinkTimer& timer);
    // ReceiveFrame, then the reply decoded; it is also kept as unit().
    Result<UnitIdentity> IdentifyUnit(LinkTimer& timer);

private:
    enum class WaitEnd { Byte, Timeout, Stop };
    WaitEnd waitForByte(LinkTimer& timer);

    LineSettings settings_;
    Line& line_;
    Clock& clock_;
    std::array<std::uint8_t, kFrameBufferSize> frame_{};
    int frameLength_ = 0;
    UnitIdentity unit_;
    bool stopRequested_ = false;
    bool dialCancelled_ = false;
};

} // namespace tvq52
