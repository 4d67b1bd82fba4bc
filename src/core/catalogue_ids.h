#pragma once

// Numbers of the catalogue texts the code shows, named for what they say.
namespace tvq52::msg {

constexpr int SerialNumberLabel = 2;
constexpr int ConnectCable = 15;
constexpr int NotATvq52 = 30;
// Also the line that cannot be opened: it names the port taken by another program.
constexpr int TransmissionTimeout = 31;
constexpr int ConnectModem = 33;
constexpr int NoPhoneNumber = 34;
constexpr int DialFailed = 35;
constexpr int TransferDone = 61;
// A wrong check byte, or a reply that is not what was asked for.
constexpr int TransmissionError = 62;
constexpr int WrongUnit = 63;
constexpr int NotInProgrammingMode = 64;
constexpr int BadValue = 106;
constexpr int HangUp = 112;

} // namespace tvq52::msg
