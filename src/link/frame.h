#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace tvq52 {

inline constexpr std::uint8_t kStx = 0x02;
inline constexpr std::uint8_t kEtx = 0x03;
inline constexpr std::uint8_t kAck = 0x06;
inline constexpr std::uint8_t kNak = 0x15;
inline constexpr std::uint8_t kCan = 0x18;

// Command codes of the requests the PC sends.
enum class UnitCommand : std::uint8_t {
    Identify = 0x01,
    Totals = 0x02,
    EventDates = 0x03,
    ReadProgramming = 0x04,
    IntervalRecords = 0x05,
    SessionRecords = 0x06,
    Programming = 0x08,
    RealTime = 0x09,
};

// XOR of all bytes given: the frame's check byte when given everything
// before it, STX included.
std::uint8_t checkByte(const QByteArray& bytes);

// STX, total length, command, payload and ETX: a frame without its check
// byte, the form SendFrame takes.
QByteArray frameWithoutCheck(std::uint8_t command, const QByteArray& payload = {});
// The same with the check byte appended.
QByteArray completeFrame(std::uint8_t command, const QByteArray& payload = {});

// 02 00 06 01 03, sent with its check byte 06.
QByteArray identityRequest();

} // namespace tvq52
