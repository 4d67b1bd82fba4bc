#pragma once

#include "programming/programming_record.h"

namespace tvq52::test {

// A record that uses every kind of value the frame carries.
inline ProgrammingRecord sampleRecord(const QString& version)
{
    ProgrammingRecord r = defaultProgramming(QDate(2010, 5, 1));
    r.serial = 4711;
    r.version = version;
    r.sessions[0] = {QStringLiteral("--:--"), QStringLiteral("--:--")}; // Monday closed
    r.sessions[6] = {QStringLiteral("20:05"), QStringLiteral("03:30")}; // Sunday
    r.clockChange = false;
    r.continuousPrinting = true;
    r.language = QStringLiteral("Deutsch");
    r.leqMinutes = 15;
    r.fastLimit = 110;
    r.venueAction = {ActionType::Leq125ms, {}};
    r.neighbourAction = {ActionType::None, {}};
    r.dayLimitVenue = 95;
    r.dayLimitNeighbour = 35;
    r.nightStart = QStringLiteral("23:00");
    r.nightEnd = QStringLiteral("07:30");
    r.nightLimitVenue = 90;
    r.nightLimitNeighbour = 30;
    r.attenuationSeconds = 300;
    r.rings = 3;
    r.octaves = {12.5f, -12.5f, 25.0f, 30.1f, 35.0f, 40.0f, 45.5f, 50.0f, 3276.7f};
    r.globalCorrection = hasGlobalCorrection(version);
    return r;
}

inline ProgIntervals sampleIntervals()
{
    ProgIntervals i = unusedIntervals();
    i[0] = {QStringLiteral("15/03/09"), QStringLiteral("08:00"), QStringLiteral("16/03/09"), QStringLiteral("20:30")};
    i[4] = {QStringLiteral("24/12/98"), QStringLiteral("00:00"), QStringLiteral("26/12/98"), QStringLiteral("23:59")};
    return i;
}

} // namespace tvq52::test
