#pragma once

#include <QString>
#include <array>
#include <cstdint>

namespace tvq52 {

// Room for the largest frame exchanged (the 377-byte programming
// transmission) with margin; a longer frame is refused, never written past.
inline constexpr std::size_t kFrameBufferSize = 512;

// The line settings, flags and last identification every window shares
// while it talks to a unit. Start-up fills the settings from the settings file.
struct LinkState {
    // The last received frame, STX at index 0; senders build requests here too.
    std::array<std::uint8_t, kFrameBufferSize> FrameBuffer{};
    // Length of the frame now in FrameBuffer, 0 when the last receive failed.
    int FrameLength = 0;

    std::uint8_t SerialPort = 1;
    // A device path that overrides SerialPort when not empty (a pty, /dev/ttyUSB0).
    QString SerialDevice;
    std::uint8_t ModemMode = 0;
    std::uint8_t TonePulse = 1;
    QString DialCode;
    std::int16_t ModemSpeed = 19200;
    QString PhoneNumber;

    bool ModemConnected = false;
    bool StopRequested = false;
    bool DialCancel = false;

    std::uint8_t UnitType = 0;
    QString UnitFirmware;
    std::int32_t UnitSerial = 0;
    std::uint8_t UnitProgMode = 0;
    std::uint8_t LastAnswer = 0;
};

// The device the line opens: SerialDevice when set, else the platform's name
// for port number `SerialPort` (COMn on Windows, /dev/ttyS(n-1) elsewhere).
QString serialDeviceName(const LinkState& state);
QString portNumberDevice(int port);

} // namespace tvq52
