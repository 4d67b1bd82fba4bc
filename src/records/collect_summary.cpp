#include "records/collect_summary.h"

#include "core/date_text.h"
#include "db/journal_tables.h"

#include <QJsonArray>
#include <algorithm>
#include <array>

namespace tvq52 {

namespace {

// In the enumeration's order.
constexpr std::array kOutcomeNames{"completed",
                                   "stopped",
                                   "failed",
                                   "cancelled",
                                   "interrupted",
                                   "not a serial number",
                                   "not stored",
                                   "no telephone number",
                                   "another unit answered",
                                   "not called",
                                   "line failed"};
static_assert(kOutcomeNames.size() == std::size_t(CollectOutcome::LineFailed) + 1);

QJsonValue stampJson(const std::optional<QDateTime>& when)
{
    return when ? QJsonValue(jsonDateTimeText(*when)) : QJsonValue();
}

std::optional<QDateTime> stampFromJson(const QJsonValue& value)
{
    const QDateTime when = QDateTime::fromString(value.toString(), Qt::ISODate);
    return when.isValid() ? std::optional<QDateTime>(when) : std::nullopt;
}

} // namespace

QString collectOutcomeName(CollectOutcome outcome)
{
    return QString::fromLatin1(kOutcomeNames.at(std::size_t(outcome)));
}

std::optional<CollectOutcome> collectOutcomeFromName(const QString& name)
{
    for (std::size_t k = 0; k < kOutcomeNames.size(); ++k)
        if (name == QLatin1String(kOutcomeNames[k]))
            return CollectOutcome(k);
    return std::nullopt;
}

CollectOutcome collectOutcome(JournalOutcome outcome)
{
    switch (outcome) {
    case JournalOutcome::Completed:
        return CollectOutcome::Completed;
    case JournalOutcome::Stopped:
        return CollectOutcome::Stopped;
    case JournalOutcome::Cancelled:
        return CollectOutcome::Cancelled;
    case JournalOutcome::Interrupted:
        return CollectOutcome::Interrupted;
    case JournalOutcome::Failed:
        break;
    }
    return CollectOutcome::Failed;
}

QJsonObject collectedJson(const CollectedUnit& l)
{
    QJsonObject o{{"index", l.index},
                  {"requested", l.requested},
                  {"answered", l.answered > 0 ? QJsonValue(l.answered) : QJsonValue()},
                  {"outcome", collectOutcomeName(l.outcome)},
                  {"intervals", l.intervals},
                  {"sessions", l.sessions},
                  {"refused", l.refused},
                  {"collected", l.ok},
                  {"line", l.line.isEmpty() ? QJsonValue() : QJsonValue(l.line)},
                  {"from", stampJson(l.from)},
                  {"to", stampJson(l.to)},
                  {"journalVerified", l.journalVerified ? QJsonValue(*l.journalVerified) : QJsonValue()}};
    if (!l.report.isEmpty())
        o.insert(QStringLiteral("report"), l.report);
    return o;
}

std::optional<CollectedUnit> collectedFromJson(const QJsonObject& o)
{
    const auto outcome = collectOutcomeFromName(o.value(QStringLiteral("outcome")).toString());
    if (!o.value(QStringLiteral("index")).isDouble() || !outcome || !o.value(QStringLiteral("collected")).isBool())
        return std::nullopt;
    CollectedUnit l;
    l.index = o.value(QStringLiteral("index")).toInt();
    l.requested = o.value(QStringLiteral("requested")).toString();
    l.answered = o.value(QStringLiteral("answered")).toInt();
    l.outcome = *outcome;
    l.intervals = o.value(QStringLiteral("intervals")).toInt();
    l.sessions = o.value(QStringLiteral("sessions")).toInt();
    l.refused = o.value(QStringLiteral("refused")).toInt();
    l.ok = o.value(QStringLiteral("collected")).toBool();
    l.line = o.value(QStringLiteral("line")).toString();
    l.from = stampFromJson(o.value(QStringLiteral("from")));
    l.to = stampFromJson(o.value(QStringLiteral("to")));
    l.report = o.value(QStringLiteral("report")).toString();
    if (const QJsonValue checked = o.value(QStringLiteral("journalVerified")); checked.isBool())
        l.journalVerified = checked.toBool();
    return l;
}

int failedCount(const QList<CollectedUnit>& summary)
{
    return int(std::count_if(summary.begin(), summary.end(), [](const CollectedUnit& l) { return !l.ok; }));
}

int journalFailedCount(const QList<CollectedUnit>& summary)
{
    return int(std::count_if(summary.begin(), summary.end(),
                             [](const CollectedUnit& l) { return l.journalVerified == false; }));
}

QJsonObject collectSummaryJson(const QList<CollectedUnit>& summary)
{
    QJsonArray units;
    for (const CollectedUnit& l : summary) {
        QJsonObject o = collectedJson(l);
        o.remove(QStringLiteral("index"));
        units.append(o);
    }
    return QJsonObject{{"units", units},
                       {"collected", int(summary.size()) - failedCount(summary)},
                       {"journalFailed", journalFailedCount(summary)},
                       {"total", summary.size()}};
}

} // namespace tvq52
