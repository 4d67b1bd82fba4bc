#pragma once

// Numbers of the catalogue texts the code shows, named for what they say.
namespace tvq52::msg {

constexpr int SerialNumberLabel = 2;
constexpr int ConnectCable = 15;
constexpr int WrongDate = 18;
constexpr int WrongTime = 19;
constexpr int SearchInField = 20;
constexpr int FooterTitle = 21;
constexpr int FooterPrompt = 22;
constexpr int SaveChanges = 23;
constexpr int IntervalEndNotAfterStart = 24;
constexpr int WrongNightStart = 25;
constexpr int WrongNightEnd = 26;
constexpr int DeleteUnitData = 27;
constexpr int NoUnitStored = 28;
// Followed directly by the serial number's digits.
constexpr int UnknownSerial = 29;
constexpr int NotATvq52 = 30;
// Also the line that cannot be opened: it names the port taken by another program.
constexpr int TransmissionTimeout = 31;
constexpr int SearchTitle = 32;
constexpr int ConnectModem = 33;
constexpr int NoPhoneNumber = 34;
constexpr int DialFailed = 35;
constexpr int WrongLimit = 60;
constexpr int TransferDone = 61;
// A wrong check byte, or a reply that is not what was asked for.
constexpr int TransmissionError = 62;
constexpr int WrongUnit = 63;
constexpr int NotInProgrammingMode = 64;
constexpr int Yes = 68;
constexpr int No = 69;
constexpr int Monday = 70; // 71..76: Tuesday..Sunday
constexpr int IntervalsDiffer = 81;
constexpr int ReplaceWithReceived = 82;
constexpr int ClockChangeLabel = 90;
constexpr int ErrorWithMonday = 91; // 92..96: Tuesday..Saturday
constexpr int StartEqualsEnd = 97;
constexpr int Day = 98;
constexpr int Night = 99;
constexpr int Session = 100;
constexpr int BadValue = 106;
constexpr int HangUp = 112;
constexpr int WrongFormat = 143;
constexpr int LargeFonts = 177;

} // namespace tvq52::msg
