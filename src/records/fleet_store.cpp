#include "records/fleet.h"

#include "db/database.h"
#include "db/fleet_tables.h"
#include "db/sql_error.h"
#include "db/store.h"
#include "evidence/journal.h"
#include "records/recorded_data.h"

#include <QHash>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>

// What the overview reads from the database and the journal checks it keeps.
namespace tvq52 {

namespace {

// The unit's clock and the PC's may differ a little: a reprogramming counts
// as someone else's only this long after our own transmission.
constexpr qint64 kClockMarginSecs = 10 * 60;
// The overview counts the nights of the last month.
constexpr int kNightWindowDays = 30;

QDateTime fleetEntryTime(const QVariant& text)
{
    if (text.isNull())
        return {};
    return QDateTime::fromString(text.toString(), Qt::ISODate);
}

// The rows a download added or rewrote, from its "kind added rewritten
// refused" lines.
int fleetStoredByCounts(const QString& counts)
{
    int stored = 0;
    for (const QString& line : counts.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList parts = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (parts.size() >= 3)
            stored += parts[1].toInt() + parts[2].toInt();
    }
    return stored;
}

// A unit's newest download, the one before it and this office's newest
// completed transmission, each found through the journal's unit index.
QString fleetUnitsSql()
{
    const QString newest = QStringLiteral(
        "(SELECT d.\"LId\" FROM \"Diario\" d WHERE d.\"LNumeroSerie\" = p.\"LNumeroSerie\" AND d.\"TAccion\" = "
        "'download' ORDER BY d.\"LId\" DESC LIMIT 1 OFFSET %1)");
    return QStringLiteral(
               "SELECT u.\"LNumeroSerie\", u.\"TLocal\", u.\"TTelefono\", u.\"TVersion\", n.\"TFechaHora\", "
               "n.\"TResultado\", n.\"TRecuentos\", b.\"TFechaHora\", t.\"TFechaHora\" FROM (SELECT "
               "p.\"LNumeroSerie\", p.\"TLocal\", p.\"TTelefono\", p.\"TVersion\", %1 AS newest, %2 AS previous, "
               "(SELECT d.\"LId\" FROM \"Diario\" d WHERE d.\"LNumeroSerie\" = p.\"LNumeroSerie\" AND "
               "d.\"TAccion\" = 'transmit' AND d.\"TResultado\" = 'completed' ORDER BY d.\"LId\" DESC LIMIT 1) AS "
               "sent FROM \"Programacion\" p) u LEFT JOIN \"Diario\" n ON n.\"LId\" = u.newest LEFT JOIN \"Diario\" b "
               "ON b.\"LId\" = u.previous LEFT JOIN \"Diario\" t ON t.\"LId\" = u.sent")
        .arg(newest.arg(0), newest.arg(1));
}

struct FleetUnitTimes {
    QDateTime previousDownload;
    QDateTime transmitted;
};

Status readFleetUnits(QSqlDatabase db, std::vector<FleetUnit>& units, QHash<qint32, FleetUnitTimes>& times)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(fleetUnitsSql()))
        return sqlError(q.lastError());
    while (q.next()) {
        FleetUnit u;
        u.serial = q.value(0).toInt();
        u.venue = q.value(1).toString();
        u.phone = q.value(2).toString();
        u.firmware = q.value(3).toString();
        if (const QDateTime at = fleetEntryTime(q.value(4)); at.isValid())
            u.lastDownload = at;
        u.lastOutcome = q.value(5).toString();
        u.recordsStored = fleetStoredByCounts(q.value(6).toString());
        times.insert(u.serial, {fleetEntryTime(q.value(7)), fleetEntryTime(q.value(8))});
        units.push_back(std::move(u));
    }
    return {};
}

// Event dates the units reported, counted against each unit's times.
Status countFleetEvents(QSqlDatabase db, std::vector<FleetUnit>& units, const QHash<qint32, FleetUnitTimes>& times)
{
    QHash<qint32, FleetUnit*> bySerial;
    for (FleetUnit& u : units)
        bySerial.insert(u.serial, &u);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    for (const char* table : {"DiaBorrado", "DiaFinalBateria", "DiaReprogramado"}) {
        if (!q.exec(QStringLiteral("SELECT \"LNumeroSerie\", \"DFecha\", \"THora\" FROM \"%1\"")
                        .arg(QString::fromLatin1(table))))
            return sqlError(q.lastError());
        while (q.next()) {
            FleetUnit* u = bySerial.value(q.value(0).toInt());
            const QDateTime at = storedStamp(q.value(1), q.value(2));
            if (!u || !at.isValid())
                continue;
            const FleetUnitTimes t = times.value(u->serial);
            const bool sincePrevious = t.previousDownload.isValid() && at > t.previousDownload;
            if (qstrcmp(table, "DiaBorrado") == 0) {
                u->erasuresSincePrevious += sincePrevious;
            } else if (qstrcmp(table, "DiaFinalBateria") == 0) {
                u->batteryEndsSincePrevious += sincePrevious;
            } else {
                u->reprogrammingsSincePrevious += sincePrevious;
                if (t.transmitted.isValid() && at > t.transmitted.addSecs(kClockMarginSecs))
                    u->reprogrammedElsewhere = true;
            }
        }
    }
    return {};
}

QVariant fleetStoredDate(const QDate& date, SqlDialect dialect)
{
    return dialect == SqlDialect::SQLite ? QVariant(date.toString(Qt::ISODate)) : QVariant(date);
}

Status countFleetNights(Database& database, std::vector<FleetUnit>& units, const QDate& today)
{
    QSqlQuery q(database.connection());
    q.setForwardOnly(true);
    q.prepare(
        QStringLiteral("SELECT \"LNumeroSerie\", count(*) FROM \"NochesExcedidas\" WHERE \"DNoche\" >= ? AND "
                       "\"DNoche\" <= ? GROUP BY \"LNumeroSerie\""));
    // The nights that begin on the last thirty days, today's included.
    q.addBindValue(fleetStoredDate(today.addDays(1 - kNightWindowDays), database.dialect()));
    q.addBindValue(fleetStoredDate(today, database.dialect()));
    if (!q.exec())
        return sqlError(q.lastError());
    QHash<qint32, int> nights;
    while (q.next())
        nights.insert(q.value(0).toInt(), q.value(1).toInt());
    for (FleetUnit& u : units)
        u.exceedanceNights = nights.value(u.serial);
    return {};
}

Status readFleetJournalChecks(QSqlDatabase db, std::vector<FleetUnit>& units)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT \"LNumeroSerie\", \"TFechaHora\", \"BoCorrecto\" FROM \"DiarioVerificado\"")))
        return sqlError(q.lastError());
    QHash<qint32, std::pair<QDateTime, bool>> checks;
    while (q.next())
        checks.insert(q.value(0).toInt(), {fleetEntryTime(q.value(1)), q.value(2).toBool()});
    for (FleetUnit& u : units) {
        const auto found = checks.constFind(u.serial);
        if (found == checks.constEnd())
            continue;
        u.journalOk = found->second;
        if (found->first.isValid())
            u.journalCheckedAt = found->first;
    }
    return {};
}

} // namespace

Result<std::vector<FleetUnit>> loadFleet(Database& database, const FleetOptions& options)
{
    QSqlDatabase db = database.connection();
    std::vector<FleetUnit> units;
    QHash<qint32, FleetUnitTimes> times;
    if (Status read = readFleetUnits(db, units, times); !read)
        return read.error();
    if (Status events = countFleetEvents(db, units, times); !events)
        return events.error();
    if (Status nights = countFleetNights(database, units, options.now.date()); !nights)
        return nights.error();
    if (Status checks = readFleetJournalChecks(db, units); !checks)
        return checks.error();
    for (FleetUnit& u : units) {
        if (u.lastDownload)
            u.daysSinceDownload = int(std::max<qint64>(0, u.lastDownload->secsTo(options.now)) / 86400);
        rateFleetUnit(u, options);
    }
    std::sort(units.begin(), units.end(), [](const FleetUnit& a, const FleetUnit& b) {
        return a.urgency != b.urgency ? a.urgency > b.urgency : a.serial < b.serial;
    });
    return units;
}

namespace {

// Which units a finding of one check of the whole journal bears on: a
// record's by its key, an entry's by the entry's unit; the chain, and an
// entry of no unit, bear on them all (nullopt).
std::optional<qint32> findingUnit(const JournalFinding& f, const QHash<qint64, qint32>& entryUnits)
{
    if (!f.key.isEmpty())
        return f.key.section(QLatin1Char(' '), 0, 0).toInt();
    switch (f.kind) {
    case JournalFinding::Kind::EntryAltered:
    case JournalFinding::Kind::EntryNotOpened:
    case JournalFinding::Kind::EntryUnsigned:
    case JournalFinding::Kind::SignatureInvalid:
    case JournalFinding::Kind::SignerNotTrusted:
        if (const qint32 unit = entryUnits.value(f.entry); f.entry != 0 && unit > 0)
            return unit;
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

} // namespace

Result<QList<qint32>> checkFleetJournal(Database& database, std::optional<qint32> serial, qint64 entry)
{
    QSqlDatabase db = database.connection();
    QList<qint32> serials;
    if (serial) {
        serials << *serial;
    } else {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (!q.exec(QStringLiteral("SELECT \"LNumeroSerie\" FROM \"Programacion\" ORDER BY \"LNumeroSerie\"")))
            return sqlError(q.lastError());
        while (q.next())
            serials << q.value(0).toInt();
    }
    const Journal journal(database);
    // One unit: its own lines and records (only the entry's after a
    // download). Every unit: one pass over everything, split per unit.
    const JournalVerification v = journal.verify(JournalScope{serial, {}, {}, serial ? entry : 0});
    QSet<qint32> failing;
    bool allFail = false;
    if (serial) {
        allFail = !v.findings.isEmpty();
    } else if (!v.findings.isEmpty()) {
        QHash<qint64, qint32> entryUnits;
        const Result<QList<JournalEntry>> entries = journal.entries();
        if (!entries)
            return entries.error();
        for (const JournalEntry& e : *entries)
            entryUnits.insert(e.id, e.serial);
        for (const JournalFinding& f : v.findings) {
            const std::optional<qint32> unit = findingUnit(f, entryUnits);
            allFail = allFail || !unit;
            if (unit)
                failing.insert(*unit);
        }
    }
    const bool sqlite = database.dialect() == SqlDialect::SQLite;
    QSqlQuery q(db);
    q.prepare(verifiedUpsertSql(database.dialect()));
    QList<qint32> notVerified;
    for (qint32 s : std::as_const(serials)) {
        const bool ok = !allFail && !failing.contains(s);
        if (!ok)
            notVerified << s;
        q.addBindValue(s);
        q.addBindValue(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")));
        q.addBindValue(sqlite ? QVariant(ok ? 1 : 0) : QVariant(ok));
        q.addBindValue(QString::fromLatin1(v.head));
        if (!q.exec())
            return sqlError(q.lastError());
    }
    return notVerified;
}

} // namespace tvq52
