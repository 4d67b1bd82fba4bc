#include "records/fleet.h"

#include "core/date_text.h"
#include "records/csv_writer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace tvq52 {

namespace {

// Urgency's tiers and the caps that keep each inside its own band.
constexpr int kTamperTier = 2'000'000;
constexpr int kStaleTier = 1'000'000;
constexpr int kPerTamperSign = 100'000;
constexpr int kPerDay = 100;
constexpr int kMaxNights = 99;
constexpr int kMaxStaleDays = 9'999;  // stale tier: days * 100 stays below a tier
constexpr int kMaxTamperDays = 999;   // tamper tier: days * 100 stays below a sign
constexpr int kNeverDays = 1'000'000; // never downloaded: older than any date

QString fleetIsoTime(const std::optional<QDateTime>& at)
{
    return at ? jsonDateTimeText(*at) : QString();
}

QStringList fleetReasonWords(const FleetUnit& u)
{
    QStringList words;
    for (FleetReason r : u.reasons)
        words << fleetReasonWord(r);
    return words;
}

} // namespace

QString fleetReasonWord(FleetReason reason)
{
    switch (reason) {
    case FleetReason::Erased:
        return QStringLiteral("erased");
    case FleetReason::Battery:
        return QStringLiteral("battery");
    case FleetReason::Reprogrammed:
        return QStringLiteral("reprogrammed");
    case FleetReason::Journal:
        return QStringLiteral("journal");
    case FleetReason::Stale:
        return QStringLiteral("stale");
    case FleetReason::Exceedances:
        return QStringLiteral("exceedances");
    }
    return {};
}

void rateFleetUnit(FleetUnit& unit, const FleetOptions& options)
{
    unit.reasons.clear();
    if (unit.erasuresSincePrevious > 0)
        unit.reasons.push_back(FleetReason::Erased);
    if (unit.batteryEndsSincePrevious > 0)
        unit.reasons.push_back(FleetReason::Battery);
    if (unit.reprogrammingsSincePrevious > 0 || unit.reprogrammedElsewhere)
        unit.reasons.push_back(FleetReason::Reprogrammed);
    if (!unit.journalOk)
        unit.reasons.push_back(FleetReason::Journal);
    const int tamperSigns = int(unit.reasons.size());
    const bool stale = !unit.daysSinceDownload || *unit.daysSinceDownload > options.staleDays;
    if (stale)
        unit.reasons.push_back(FleetReason::Stale);
    if (unit.exceedanceNights > 0)
        unit.reasons.push_back(FleetReason::Exceedances);

    const int days = !stale ? 0 : unit.daysSinceDownload ? std::max(0, *unit.daysSinceDownload) : kNeverDays;
    const int nights = std::clamp(unit.exceedanceNights, 0, kMaxNights);
    if (tamperSigns > 0)
        unit.urgency = kTamperTier + tamperSigns * kPerTamperSign + std::min(days, kMaxTamperDays) * kPerDay + nights;
    else if (stale)
        unit.urgency = kStaleTier + std::min(days, kMaxStaleDays) * kPerDay + nights;
    else
        unit.urgency = nights;
}


QStringList fleetKeys()
{
    return {QStringLiteral("serial"),
            QStringLiteral("venue"),
            QStringLiteral("phone"),
            QStringLiteral("firmware"),
            QStringLiteral("lastDownload"),
            QStringLiteral("lastOutcome"),
            QStringLiteral("daysSinceDownload"),
            QStringLiteral("erasuresSincePrevious"),
            QStringLiteral("batteryEndsSincePrevious"),
            QStringLiteral("reprogrammingsSincePrevious"),
            QStringLiteral("reprogrammedElsewhere"),
            QStringLiteral("exceedanceNights"),
            QStringLiteral("journalOk"),
            QStringLiteral("urgency"),
            QStringLiteral("reasons")};
}

namespace {

// One unit's values in fleetKeys' order, as JSON values.
QJsonArray fleetUnitValues(const FleetUnit& u)
{
    const QJsonValue null(QJsonValue::Null);
    return {u.serial,
            u.venue,
            u.phone,
            u.firmware,
            u.lastDownload ? QJsonValue(fleetIsoTime(u.lastDownload)) : null,
            u.lastDownload ? QJsonValue(u.lastOutcome) : null,
            u.daysSinceDownload ? QJsonValue(*u.daysSinceDownload) : null,
            u.erasuresSincePrevious,
            u.batteryEndsSincePrevious,
            u.reprogrammingsSincePrevious,
            u.reprogrammedElsewhere,
            u.exceedanceNights,
            u.journalOk,
            u.urgency,
            QJsonArray::fromStringList(fleetReasonWords(u))};
}

} // namespace

QByteArray fleetJson(const std::vector<FleetUnit>& units)
{
    const QStringList keys = fleetKeys();
    QJsonArray array;
    for (const FleetUnit& u : units) {
        const QJsonArray values = fleetUnitValues(u);
        QJsonObject object;
        for (qsizetype i = 0; i < keys.size(); ++i)
            object.insert(keys[i], values[i]);
        array.append(object);
    }
    return QJsonDocument(array).toJson(QJsonDocument::Indented);
}

QByteArray fleetCsv(const std::vector<FleetUnit>& units)
{
    QStringList lines{fleetKeys().join(QLatin1Char(','))};
    for (const FleetUnit& u : units) {
        QStringList fields;
        for (const QJsonValue& v : fleetUnitValues(u)) {
            if (v.isArray()) {
                QStringList words;
                for (const QJsonValue& w : v.toArray())
                    words << w.toString();
                fields << commaCsvField(words.join(QLatin1Char(';')));
            } else if (v.isBool()) {
                fields << (v.toBool() ? QStringLiteral("true") : QStringLiteral("false"));
            } else if (v.isDouble()) {
                fields << QString::number(v.toInteger());
            } else {
                fields << commaCsvField(v.toString());
            }
        }
        lines << fields.join(QLatin1Char(','));
    }
    return (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
}

} // namespace tvq52
