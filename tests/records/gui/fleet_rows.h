#pragma once

#include "records/fleet.h"

#include <QDateTime>
#include <vector>

namespace tvq52::test {

// Hand-made overview rows: the loader and rating are another part's work,
// so urgency and reasons are set here as a rating would.
inline FleetUnit fleetUnit(qint32 serial, const QString& venue, int urgency = 0,
                           std::vector<FleetReason> reasons = {})
{
    FleetUnit u;
    u.serial = serial;
    u.venue = venue;
    u.phone = QStringLiteral("93 555 %1").arg(serial % 10000, 4, 10, QLatin1Char('0'));
    u.firmware = QStringLiteral("3.4");
    u.lastDownload = QDateTime(QDate(2026, 11, 20), QTime(9, 30));
    u.lastOutcome = QStringLiteral("completed");
    u.daysSinceDownload = 17;
    u.recordsStored = 120;
    u.journalCheckedAt = QDateTime(QDate(2026, 11, 21), QTime(8, 0));
    u.urgency = urgency;
    u.reasons = std::move(reasons);
    return u;
}

inline FleetUnit neverDownloaded(qint32 serial, const QString& venue)
{
    FleetUnit u = fleetUnit(serial, venue, 10, {FleetReason::Stale});
    u.lastDownload.reset();
    u.lastOutcome.clear();
    u.daysSinceDownload.reset();
    u.recordsStored = 0;
    u.journalCheckedAt.reset();
    return u;
}

inline FleetUnit tampered(qint32 serial, const QString& venue)
{
    FleetUnit u = fleetUnit(serial, venue, 500, {FleetReason::Erased, FleetReason::Reprogrammed, FleetReason::Journal});
    u.erasuresSincePrevious = 2;
    u.reprogrammingsSincePrevious = 1;
    u.reprogrammedElsewhere = true;
    u.journalOk = false;
    u.lastOutcome = QStringLiteral("stopped");
    return u;
}

// A small office as the loader hands it over: by urgency, then serial.
inline std::vector<FleetUnit> smallOffice()
{
    FleetUnit loud = fleetUnit(3003, QStringLiteral("Bar Ruido"), 20, {FleetReason::Exceedances});
    loud.exceedanceNights = 6;
    FleetUnit battery = fleetUnit(4004, QStringLiteral("Pub Luna"), 400, {FleetReason::Battery});
    battery.batteryEndsSincePrevious = 1;
    return {tampered(5005, QStringLiteral("Discoteca Sol")),
            battery,
            loud,
            neverDownloaded(2002, QStringLiteral("Sala Apolo")),
            fleetUnit(1001, QStringLiteral("Café Central")),
            fleetUnit(6006, QStringLiteral("Taberna del Puerto"))};
}

} // namespace tvq52::test
