#pragma once

#include <QString>
#include <cstdint>

namespace tvq52 {

// The line settings and flags every window shares while it talks to a unit.
// Start-up fills the settings from the settings file.
struct LinkState {
    std::uint8_t SerialPort = 1;
    // A device path that overrides SerialPort when not empty (a pty, /dev/ttyUSB0).
    QString SerialDevice;
    std::uint8_t ModemMode = 0;
    std::uint8_t TonePulse = 1;
    QString DialCode;
    std::int16_t ModemSpeed = 19200;

    bool ModemConnected = false;
    bool StopRequested = false;
};

// The device the line opens: SerialDevice when set, else the platform's name
// for port number `SerialPort` (COMn on Windows, /dev/ttyS(n-1) elsewhere).
QString serialDeviceName(const LinkState& state);
QString portNumberDevice(int port);

} // namespace tvq52
