#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace tvq52 {

// The dial command in verbose-off mode: "ATE0V0X0", DT (tone, TonePulse 1)
// or DP, the prefix without surrounding blanks, ",", the number and CR. The
// "," stays when the prefix is empty.
QByteArray dialCommand(std::uint8_t tonePulse, const QString& dialCode, const QString& phoneNumber);

// Whether `text` holds only what a modem dials: digits, * # +, the pause
// ",", W (wait for the dial tone), P and T (pulse, tone), ! (flash), @ (wait
// for quiet) and the blanks, "-", "(", ")" and "." numbers are written with.
// Anything else (";", a carriage return, other letters) could end the dial
// command or start another one. Used for the number and the prefix alike.
bool isDialString(const QString& text);

// The modem's numeric answer: a first byte "1" (CONNECT) is a connection,
// anything else or nothing is a failure.
bool isConnectAnswer(const QByteArray& answer);

} // namespace tvq52
