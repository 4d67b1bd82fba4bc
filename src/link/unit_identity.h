#pragma once

#include <QString>
#include <cstdint>
#include <variant>

namespace tvq52 {

// What the identification reply says about the connected unit.
struct UnitIdentity {
    std::uint8_t type = 0;
    QString firmware; // "4.0", "3.10"
    std::int32_t serial = 0;
    std::uint8_t progMode = 0;
};

// Why a reply could not be read as an identification.
struct IdentityFault {
    enum Kind { TooShort, BadSerial } kind;
    QString serialText; // the six characters as received, for BadSerial
};

// The smallest frame that holds every field of the reply (through offset 13
// and its check byte).
inline constexpr int kIdentityReplyMinLength = 15;

// Decodes the reply in `frame` (STX at index 0, `length` bytes long).
std::variant<UnitIdentity, IdentityFault> decodeIdentity(const std::uint8_t* frame, int length);

// The unit types this program talks to.
bool isTvq52Type(std::uint8_t type);

// The firmware text read as a decimal number ("3.10" reads as 3.1); 0 when
// it is no number.
double firmwareNumber(const QString& firmware);

} // namespace tvq52
