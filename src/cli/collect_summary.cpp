#include "cli/collect_summary.h"

#include "cli/cli_session.h"
#include "core/date_text.h"

#include <QJsonArray>
#include <QTextStream>

namespace tvq52 {

namespace {

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

QJsonObject collectedJson(const CollectedUnit& l)
{
    QJsonObject o{{"index", l.index},
                  {"requested", l.requested},
                  {"answered", jsonCount(l.answered)},
                  {"outcome", l.outcome},
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
    if (!o.value(QStringLiteral("index")).isDouble() || !o.value(QStringLiteral("outcome")).isString()
        || !o.value(QStringLiteral("collected")).isBool())
        return std::nullopt;
    CollectedUnit l;
    l.index = o.value(QStringLiteral("index")).toInt();
    l.requested = o.value(QStringLiteral("requested")).toString();
    l.answered = o.value(QStringLiteral("answered")).toInt();
    l.outcome = o.value(QStringLiteral("outcome")).toString();
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

void printCollectSummary(const QList<CollectedUnit>& summary)
{
    QTextStream out(stdout);
    out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8\n")
               .arg(QStringLiteral("serial"), -10)
               .arg(QStringLiteral("answered"), -10)
               .arg(QStringLiteral("outcome"), -24)
               .arg(QStringLiteral("intervals"), 9)
               .arg(QStringLiteral("sessions"), 8)
               .arg(QStringLiteral("refused"), 7)
               .arg(QStringLiteral("journal"), -8)
               .arg(QStringLiteral("line"));
    for (const CollectedUnit& l : summary)
        out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8\n")
                   .arg(l.requested, -10)
                   .arg(l.answered != 0 ? QString::number(l.answered) : QStringLiteral("-"), -10)
                   .arg(l.outcome, -24)
                   .arg(l.intervals, 9)
                   .arg(l.sessions, 8)
                   .arg(l.refused, 7)
                   .arg(!l.journalVerified       ? QStringLiteral("-")
                            : *l.journalVerified ? QStringLiteral("verified")
                                                 : QStringLiteral("FAILED"),
                        -8)
                   .arg(l.line.isEmpty() ? QStringLiteral("-") : l.line);
    out << summary.size() - failedCount(summary) << " of " << summary.size() << " units collected\n";
    if (const int failed = journalFailedCount(summary))
        out << failed << " of them with a journal that did not verify\n";
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
