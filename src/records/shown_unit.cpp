#include "records/shown_unit.h"

#include "db/store.h"
#include "programming/programming_store.h"

namespace tvq52 {

std::optional<ShownUnit> loadShownUnit(Database& database, qint32 serial)
{
    const Store store(database);
    const auto loaded = loadProgramming(store, serial);
    if (!loaded || !*loaded)
        return std::nullopt;
    const std::optional<StoredProgramming>& stored = *loaded;
    const ProgrammingRecord& r = stored->record;
    ShownUnit u;
    u.serial = r.serial;
    u.firmware = r.version;
    u.phone = r.phone;
    u.recordDate = r.date.toString(QStringLiteral("dd/MM/yy"));
    u.venue = r.venue;
    // The record keeps Monday first; the shared hours start on Sunday.
    for (int day = 0; day < 7; ++day) {
        const SessionHours& h = r.sessions[std::size_t((day + 6) % 7)];
        u.sessionHours[std::size_t(day)] = h.start;
        u.sessionHours[std::size_t(day + 7)] = h.end;
    }
    u.nightStart = r.nightStart;
    u.nightEnd = r.nightEnd;
    u.dayLimitVenue = r.dayLimitVenue;
    u.nightLimitVenue = r.nightLimitVenue;
    u.intervals = stored->intervals;

    Row key;
    key.set(QStringLiteral("LNumeroSerie"), serial);
    // Totals that cannot be read show empty, as for a unit never read.
    if (const auto found = store.selectOne(QStringLiteral("Programacion"), key); found && *found) {
        const std::optional<Row>& row = *found;
        const QDate totalsDate = row->value(QStringLiteral("DFechaTotales")).toDate();
        u.totalsDate = totalsDate.isValid() ? totalsDate.toString(QStringLiteral("dd/MM/yy")) : QString();
        u.totalsTime = row->value(QStringLiteral("THoraTotales")).toString();
        u.passesVenue = row->value(QStringLiteral("LPasadasLocal")).toInt();
        u.passesNeighbour = row->value(QStringLiteral("LPasadasVecino")).toInt();
        u.sensorInactive = row->value(QStringLiteral("LE3")).toInt();
        u.erasures = row->value(QStringLiteral("LCB")).toInt();
    }
    return u;
}

} // namespace tvq52
