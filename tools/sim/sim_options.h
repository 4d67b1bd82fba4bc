#pragma once

#include "core/error.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>

namespace tvq52::sim {

// The faults the simulated unit can be told to make. Each has one name, used
// on the command line as NAME or NAME:K (only the unit's K-th frame, counted
// from 1 since start; without K, every frame).
enum class FaultKind {
    Garbage,       // bytes before the STX
    BadCheck,      // a wrong check byte
    Stall,         // the frame stops half way and the unit falls silent
    Silent,        // the frame is never sent (without K: the unit never answers)
    LongFrame,     // a length field larger than any frame
    ShortLength,   // a length field too small for a frame
    DamagedRecord, // a record whose level field is out of range (check byte correct)
    Level1401,     // a record whose level field is 1401, one above the range (check byte correct)
    ShortRecord,   // a record cut below its layout, with a length and check byte that fit the cut
    Nak,           // a programming transmission answered with NAK
    ProgramSilent, // a programming transmission left unanswered
};

struct Fault {
    FaultKind kind;
    int frame = 0; // 0: every frame

    bool appliesTo(int frameNumber) const { return frame == 0 || frame == frameNumber; }
};

QString faultName(FaultKind kind);
std::optional<Fault> parseFault(const QString& text);
QStringList faultNames();

struct ModemOptions {
    bool enabled = false;
    int rings = 2;
    int ringMs = 3000;
    QByteArray dialResult = "1"; // the numeric result code sent after the rings
    int guardMs = 1000;          // silence that completes the "+++" escape
};

// What a unit reports in its event-date reply, newest last.
enum class UnitEvent { Erasure, BatteryEnd, Reprogramming };

struct EventDates {
    QList<QDateTime> erasures;
    QList<QDateTime> batteryEnds;
    QList<QDateTime> reprogrammings;
};

// A unit that answers when the modem dials its number.
struct DialUnit {
    QByteArray number;
    QByteArray serialText;
    std::uint8_t firmwareMajor = 4;
    std::uint8_t firmwareMinor = 0;
    std::optional<int> days;          // unset: that of --days
    std::optional<quint32> seed;      // unset: --seed plus the serial
    std::optional<EventDates> events; // set (office file): exactly these, else the generated ones
};

// A change to a unit between calls: after its `afterCall`-th call, the next
// call finds the event, dated as that call connects.
struct AfterCall {
    QByteArray serialText;
    UnitEvent event = UnitEvent::Erasure;
    int afterCall = 1;
};

struct SimOptions {
    // Identification.
    std::uint8_t unitType = 42;
    std::uint8_t firmwareMajor = 4;
    std::uint8_t firmwareMinor = 0;
    QByteArray serialText = "012345"; // six characters as sent
    std::uint8_t progMode = 1;

    // Recorded history.
    quint32 seed = 52;
    int days = 7;
    int leqMinutes = 15;
    QDateTime historyEnd; // invalid: now
    // The unit's clock, when it reads earlier than the history's end: it
    // holds only what had ended by then (heldAt). Invalid: the end.
    QDateTime clock;

    int realtimeMs = 500;       // pause before each further real-time reading
    bool realtimeCases = false; // step through the display's edge cases instead
    bool pace = false;          // 19200 bit/s line timing
    QString link;               // symlink to the pty (PATH-1..PATH-N with several lines)
    int lines = 1;              // modems, each on its own terminal, all reaching every unit
    bool verbose = false;
    ModemOptions modem;
    // Other units behind the modem, by the number dialled; any other number
    // reaches the unit above. Each has its own history: seed + serial.
    QList<DialUnit> dialUnits;
    QList<AfterCall> afterCalls;
    // One line per record frame the PC acknowledged: "interval|session
    // yyyy-MM-dd hh:mm" (the key stamp), " faulty" when a fault changed it.
    QString ackLog;
    // When each output's last byte went into the terminal and each ACK or
    // CAN came back, in monotonic microseconds (timing_log.h).
    QString timingLog;
    QList<Fault> faults;

    QString firmwareText() const { return QStringLiteral("%1.%2").arg(firmwareMajor).arg(firmwareMinor); }
    bool newIntervalLayout() const { return firmwareMajor >= 3; }
    bool hasCorrectionByte() const { return firmwareMajor >= 4; }
    bool actionCodes33() const { return firmwareMajor > 3 || (firmwareMajor == 3 && firmwareMinor >= 3); }
};

// A whole number within [min, max], or nothing.
std::optional<int> wholeNumber(const QString& text, int min, int max);
// A firmware version "MAJOR.MINOR" into major and minor; false when it is not one.
bool parseVersion(const QString& text, std::uint8_t& major, std::uint8_t& minor);

// Parses the program's arguments. On failure returns nothing and sets
// *error (untranslated) and *why; --help returns nothing and clears *error.
std::optional<SimOptions> parseSimOptions(const QStringList& arguments, QString* error, QString* helpText,
                                          std::optional<Error>* why = nullptr);
// What --help prints, the program's own words through `translate`.
QString simHelp(const std::function<QString(const QString&)>& translate);

} // namespace tvq52::sim
