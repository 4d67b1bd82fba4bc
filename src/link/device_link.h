#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace tvq52 {

struct LinkState;
class Line;
class Clock;
class LinkTimer;
class Prompter;
class LocGuru;

// Result of ConnectModem.
enum class ModemResult : std::uint8_t { Connected = 1, Failed = 2 };

// The link operations over one line: opening it, the modem call, sending and
// receiving frames and identifying the unit. They read and fill the shared
// LinkState and show their own messages (catalogue texts) through the
// prompter, so each window reports a link failure the same way.
class DeviceLink {
public:
    DeviceLink(LinkState& state, Line& line, Clock& clock, Prompter& prompter, const LocGuru& guru);

    LinkState& state() const { return state_; }
    Line& line() const { return line_; }
    Clock& clock() const { return clock_; }
    Prompter& prompter() const { return prompter_; }
    const LocGuru& guru() const { return guru_; }

    // Direct cable: the configured device at 19200,n,8,1, opened if closed.
    // False when the device cannot be opened (lineError() says why).
    bool OpenLine();
    // The modem's line settings: ModemSpeed,n,8,1 on the configured device.
    void setModemLineSettings();
    // Opens the line with its current settings if it is closed.
    bool openPort();
    void closePort();
    QString lineError() const { return lineError_; }

    // Escapes to command mode, dials `phoneNumber` and waits up to 60 s for
    // the modem's answer (ended early by DialCancel). Shows catalogue text 35
    // on failure.
    ModemResult ConnectModem(const QString& phoneNumber);

    // Waits whole seconds without reacting to the user.
    void Delay(int seconds);

    // Writes the bytes one by one, then their XOR.
    void SendFrame(const QByteArray& frameWithoutCheck);
    void RequestIdentity();
    // Reads one frame into FrameBuffer. Shows 31 on time-out (or a length
    // the buffer cannot hold), 62 on a wrong check byte; stop gives up silently.
    bool ReceiveFrame(LinkTimer& timer);
    // ReceiveFrame, then the reply decoded into the unit fields.
    bool IdentifyUnit(LinkTimer& timer);

private:
    enum class WaitEnd { Byte, Timeout, Stop };
    WaitEnd waitForByte(LinkTimer& timer);
    bool fail(int catalogueId, const QString& detail = {});

    LinkState& state_;
    Line& line_;
    Clock& clock_;
    Prompter& prompter_;
    const LocGuru& guru_;
    QString lineError_;
};

} // namespace tvq52
