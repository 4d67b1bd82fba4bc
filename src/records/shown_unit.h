#pragma once

#include "programming/programming_record.h"

#include <QString>
#include <array>
#include <optional>

namespace tvq52 {

class Database;

// The unit the recorded-data window shows, as its loader leaves it for the
// graph and report windows: identification, schedule, limits and totals.
struct ShownUnit {
    qint32 serial = 0;
    QString firmware;
    QString phone;
    QString recordDate; // "dd/mm/yy"
    QString venue;
    // Session starts at 0-6 and ends at 7-13, Sunday first.
    std::array<QString, 14> sessionHours;
    QString nightStart;
    QString nightEnd;
    int dayLimitVenue = 0;
    int nightLimitVenue = 0;
    ProgIntervals intervals;

    // The last totals reading.
    QString totalsDate; // "dd/mm/yy"
    QString totalsTime; // "hh:mm:ss"
    qint32 passesVenue = 0;
    qint32 passesNeighbour = 0;
    qint32 sensorInactive = 0; // LE3
    qint32 erasures = 0;       // LCB
};

// Nothing when the unit has no Programacion row.
std::optional<ShownUnit> loadShownUnit(Database& database, qint32 serial);

} // namespace tvq52
