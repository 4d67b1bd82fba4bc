#include "reports/exceedance_summary.h"

#include "db/database.h"
#include "db/schema.h"
#include "records/recorded_data.h"
#include "reports/recorded_range.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <algorithm>
#include <cmath>
#include <functional>

namespace tvq52 {

namespace {

// Levels carry one decimal: compared in tenths.
long tenths(float level)
{
    return std::lround(double(level) * 10);
}

void takePeak(LevelPeak& peak, float level, int limit)
{
    if (tenths(level) == 0)
        return; // no value
    if (limit != 255 && tenths(level) > long(limit) * 10)
        ++peak.over;
    if (tenths(peak.level) == 0 || tenths(level) > tenths(peak.level)) {
        peak.level = level;
        peak.limit = limit;
    }
}

// Seconds of [from, to) that the intervals cover, overlaps counted once.
qint64 coveredSeconds(const std::vector<IntervalFigures>& intervals, const QDateTime& from, const QDateTime& to)
{
    std::vector<std::pair<qint64, qint64>> spans;
    const qint64 lo = from.toSecsSinceEpoch(), hi = to.toSecsSinceEpoch();
    for (const IntervalFigures& i : intervals) {
        const qint64 a = std::max(lo, i.start.toSecsSinceEpoch());
        const qint64 b = std::min(hi, i.end.toSecsSinceEpoch());
        if (a < b)
            spans.emplace_back(a, b);
    }
    std::sort(spans.begin(), spans.end());
    qint64 covered = 0, reached = lo;
    for (const auto& [a, b] : spans) {
        const qint64 start = std::max(a, reached);
        if (b > start) {
            covered += b - start;
            reached = b;
        }
    }
    return covered;
}

} // namespace

ExceedanceSummary summarizeExceedances(const std::vector<IntervalFigures>& intervals,
                                       std::vector<SessionFigures> sessions, const NightHours& night,
                                       const QDateTime& from, const QDateTime& to)
{
    ExceedanceSummary s;
    s.from = from;
    s.to = to;
    s.night = night;
    std::sort(sessions.begin(), sessions.end(),
              [](const SessionFigures& a, const SessionFigures& b) { return a.start < b.start; });
    s.sessions = std::move(sessions);
    if (!night.isSet() || !from.isValid() || !to.isValid() || to < from)
        return s;

    // A night that starts the day before the range may reach into it.
    for (QDate day = from.date().addDays(-1); day <= to.date(); day = day.addDays(1)) {
        const QDateTime nightStart = wallClock(day, night.start);
        const QDateTime nightEnd = wallClock(night.end > night.start ? day : day.addDays(1), night.end);
        NightSummary n;
        n.start = std::max(nightStart, from);
        // The range's last minute is included.
        n.end = std::min(nightEnd, to.addSecs(60));
        if (n.start >= n.end)
            continue;
        for (const IntervalFigures& i : intervals) {
            if (i.start < n.start || i.start >= n.end)
                continue;
            ++n.intervals;
            n.passesVenue += i.passesVenue;
            n.passesNeighbour += i.passesNeighbour;
            n.passesFast += i.passesFast;
            takePeak(n.venue, i.leqVenue, i.limitVenue);
            takePeak(n.neighbour, i.leqNeighbour, i.limitNeighbour);
            takePeak(n.fast, i.maxFast, i.limitFast);
            n.sensorInactive += i.sensorInactive != 0 ? 1 : 0;
            n.disconnected += i.disconnections != 0 ? 1 : 0;
        }
        const qint64 length = n.start.secsTo(n.end);
        n.minutesWithoutRecord = int((length - coveredSeconds(intervals, n.start, n.end)) / 60);
        s.nights.push_back(n);
    }
    return s;
}

namespace {

QDateTime stamp(const QVariant& date, const QVariant& time)
{
    const QDate d = QDate::fromString(date.toString().left(10), Qt::ISODate);
    const QTime t = QTime::fromString(time.toString().left(5), QStringLiteral("HH:mm"));
    return d.isValid() && t.isValid() ? wallClock(d, t) : QDateTime();
}

bool runRange(Database& database, const QString& table, const QStringList& columns, qint32 serial,
              const QDateTime& from, const QDateTime& to, QString* error,
              const std::function<void(const QSqlQuery&)>& row)
{
    const RangeQuery r = rowsStartingIn(table, columns, serial, from, to, database.dialect());
    QSqlQuery q(database.connection());
    q.setForwardOnly(true);
    bool ok = q.prepare(r.sql);
    for (const QVariant& v : r.binds)
        q.addBindValue(v);
    ok = ok && q.exec();
    while (ok && q.next())
        row(q);
    if (!ok && error)
        *error = q.lastError().text();
    return ok;
}

} // namespace

std::optional<ExceedanceSummary> loadExceedanceSummary(Database& database, qint32 serial, const QDateTime& from,
                                                       const QDateTime& to, QString* error)
{
    NightHours night;
    {
        QSqlQuery q(database.connection());
        bool ok = q.prepare(QStringLiteral("SELECT %1, %2 FROM %3 WHERE %4 = ?")
                                .arg(quoteIdentifier(QStringLiteral("THoraEmpiezaNoche")),
                                     quoteIdentifier(QStringLiteral("THoraTerminaNoche")),
                                     quoteIdentifier(QStringLiteral("Programacion")),
                                     quoteIdentifier(QStringLiteral("LNumeroSerie"))));
        q.addBindValue(serial);
        ok = ok && q.exec();
        if (!ok) {
            if (error)
                *error = q.lastError().text();
            return std::nullopt;
        }
        if (q.next()) {
            night.start = QTime::fromString(q.value(0).toString().left(5), QStringLiteral("HH:mm"));
            night.end = QTime::fromString(q.value(1).toString().left(5), QStringLiteral("HH:mm"));
        }
    }

    std::vector<IntervalFigures> intervals;
    // A night that began before the range may hold intervals that cover its start.
    const QDateTime reach = from.addDays(-1);
    const QStringList iCols{"DFechaInicio",    "THoraInicio",      "DFechaFinal",  "THoraFinal", "IPasadasLocal",
                            "IPasadasVecino",  "IPasMaxFast",      "SLeqLocal",    "SLeqVecino", "SMaxFast",
                            "ByNivelLeqLocal", "ByNivelLeqVecino", "ByNivelMFast", "IE3",        "IDesco"};
    const bool okI =
        runRange(database, QStringLiteral("Intervalos"), iCols, serial, reach, to, error, [&](const QSqlQuery& q) {
            IntervalFigures i;
            i.start = stamp(q.value(0), q.value(1));
            i.end = stamp(q.value(2), q.value(3));
            i.passesVenue = q.value(4).toInt();
            i.passesNeighbour = q.value(5).toInt();
            i.passesFast = q.value(6).toInt();
            i.leqVenue = q.value(7).toFloat();
            i.leqNeighbour = q.value(8).toFloat();
            i.maxFast = q.value(9).toFloat();
            i.limitVenue = q.value(10).isNull() ? 255 : q.value(10).toInt();
            i.limitNeighbour = q.value(11).isNull() ? 255 : q.value(11).toInt();
            i.limitFast = q.value(12).isNull() ? 255 : q.value(12).toInt();
            i.sensorInactive = q.value(13).toInt();
            i.disconnections = q.value(14).toInt();
            if (i.start.isValid() && i.end.isValid())
                intervals.push_back(i);
        });
    if (!okI)
        return std::nullopt;

    std::vector<SessionFigures> sessions;
    const QStringList sCols{"DFechaInicio", "THoraInicio",   "DFechaFinal",      "THoraFinal",
                            "SLeq",         "LPasadasLocal", "LPasadasVecino",   "LPasMaxFast",
                            "LE3",          "LDesco",        "ITiempoAtenuacion"};
    const bool okS =
        runRange(database, QStringLiteral("Sesiones"), sCols, serial, from, to, error, [&](const QSqlQuery& q) {
            SessionFigures f;
            f.start = stamp(q.value(0), q.value(1));
            f.end = stamp(q.value(2), q.value(3));
            f.leq = q.value(4).toFloat();
            f.passesVenue = q.value(5).toLongLong();
            f.passesNeighbour = q.value(6).toLongLong();
            f.passesFast = q.value(7).toLongLong();
            f.sensorInactive = q.value(8).toLongLong();
            f.disconnections = q.value(9).toLongLong();
            f.attenuation = q.value(10).toInt();
            sessions.push_back(f);
        });
    if (!okS)
        return std::nullopt;
    return summarizeExceedances(intervals, std::move(sessions), night, from, to);
}

} // namespace tvq52
