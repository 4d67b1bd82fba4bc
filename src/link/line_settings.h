#pragma once

#include <QString>
#include <cstdint>

namespace tvq52 {

// How the line to the unit is opened: start-up fills it from the settings
// file, the command line may override it, and each exchange session takes a
// copy. The names are the settings file's keys.
struct LineSettings {
    std::uint8_t SerialPort = 1;
    // A device path that overrides SerialPort when not empty (a pty, /dev/ttyUSB0).
    QString SerialDevice;
    std::uint8_t ModemMode = 0;
    std::uint8_t TonePulse = 1;
    QString DialCode;
    std::int16_t ModemSpeed = 19200;
    // The number the command line gave; the windows dial the stored record's.
    QString PhoneNumber;

    bool modem() const { return ModemMode != 0; }
};

// The device the line opens: SerialDevice when set, else the platform's name
// for port number `SerialPort` (COMn on Windows, /dev/ttyS(n-1) elsewhere).
QString serialDeviceName(const LineSettings& settings);
QString portNumberDevice(int port);

} // namespace tvq52
