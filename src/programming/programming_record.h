#pragma once

#include "programming/action_type.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <array>

namespace tvq52 {

inline constexpr int kIntervalCount = 30;
inline constexpr int kOctaveCount = 9;
// The octave values a unit holds: signed 16-bit tenths of a dB on the line.
inline constexpr double kLowestOctave = -3276.8;
inline constexpr double kHighestOctave = 3276.7;

// One non-working interval: days "dd/mm/yy", times "hh:nn".
struct NonWorkingInterval {
    QString startDay = QStringLiteral("00/00/00");
    QString startTime = QStringLiteral("00:00");
    QString endDay = QStringLiteral("00/00/00");
    QString endTime = QStringLiteral("00:00");

    bool isUnused() const { return startDay == QLatin1String("00/00/00"); }
    bool operator==(const NonWorkingInterval&) const = default;
};

// The 30 non-working intervals of the programming shown; index 0 is interval 1.
using ProgIntervals = std::array<NonWorkingInterval, kIntervalCount>;

// Session hours of one weekday: "hh:nn" texts, "--:--" for a closed day.
struct SessionHours {
    QString start;
    QString end;
    bool operator==(const SessionHours&) const = default;
};

// The programming record of one unit as the window edits it and the store
// keeps it in Programacion.
struct ProgrammingRecord {
    qint32 serial = 0;
    QDate date;
    QString contact;
    QString venue;
    QString address;
    QString town;
    QString phone;
    QString note;
    QString version = QStringLiteral("0.0");
    bool clockChange = true;
    QString language = QStringLiteral("Español");
    int leqMinutes = 2;
    int fastLimit = 80;
    bool continuousPrinting = false;
    ActionType venueAction;
    ActionType neighbourAction;
    std::array<SessionHours, 7> sessions; // Monday first
    int dayLimitVenue = 80;
    int dayLimitNeighbour = 30;
    QString nightStart = QStringLiteral("22:00");
    QString nightEnd = QStringLiteral("08:00");
    int nightLimitVenue = 75;
    int nightLimitNeighbour = 25;
    int attenuationSeconds = 2;
    int rings = 2;
    std::array<float, kOctaveCount> octaves{};
    bool globalCorrection = false;

    bool operator==(const ProgrammingRecord&) const = default;
};

// The defaults of a new record, dated `today`.
ProgrammingRecord defaultProgramming(const QDate& today = QDate::currentDate());
ProgIntervals unusedIntervals();

// The unit languages in the order of the window's options.
const QStringList& unitLanguages();

// The numeric value of a version text, as far as it reads as a number.
double versionValue(const QString& version);
// Seconds boxes from 3.3 on, the global-correction option from 4.0 on.
bool hasActionSeconds(const QString& version);
bool hasGlobalCorrection(const QString& version);

} // namespace tvq52
