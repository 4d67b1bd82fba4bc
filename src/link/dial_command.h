#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace tvq52 {

// The dial command in verbose-off mode: "ATE0V0X0", DT (tone, TonePulse 1)
// or DP, the prefix without surrounding blanks, ",", the number and CR. The
// "," stays when the prefix is empty.
QByteArray dialCommand(std::uint8_t tonePulse, const QString& dialCode, const QString& phoneNumber);

// The modem's numeric answer: a first byte "1" (CONNECT) is a connection,
// anything else or nothing is a failure.
bool isConnectAnswer(const QByteArray& answer);

} // namespace tvq52
