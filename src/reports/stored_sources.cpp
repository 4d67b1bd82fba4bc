#include "reports/stored_sources.h"

#include "reports/report_store.h"

namespace tvq52 {

namespace {

Result<ReportRows> reportRows(const Result<ReportStore::Rows>& stored)
{
    if (!stored)
        return stored.error();
    ReportRows rows;
    rows.reserve(stored->size());
    for (const Row& r : *stored) {
        ReportRow row;
        for (qsizetype i = 0; i < r.columns().size(); ++i)
            row.set(r.columns()[i], r.values()[i]);
        rows.push_back(std::move(row));
    }
    return rows;
}

qint32 serialOf(const ReportParameters& p)
{
    return p.value(QStringLiteral("serial")).toInt();
}

} // namespace

ReportSources storedSources(Database& database)
{
    ReportSources sources;
    Database* db = &database;
    sources.add(QStringLiteral("programming"),
                [db](const ReportParameters& p) { return reportRows(ReportStore(*db).programmingRows(serialOf(p))); });
    const std::pair<const char*, EventKind> events[] = {{"reprogrammings", EventKind::Reprogramming},
                                                        {"erasures", EventKind::Erasure},
                                                        {"battery-ends", EventKind::BatteryEnd}};
    for (const auto& [name, kind] : events)
        sources.add(QLatin1String(name), [db, kind = kind](const ReportParameters& p) {
            return reportRows(ReportStore(*db).eventDates(kind, serialOf(p)));
        });
    const std::pair<const char*, RecordKind> ranges[] = {{"intervals", RecordKind::Intervals},
                                                         {"sessions", RecordKind::Sessions}};
    for (const auto& [name, kind] : ranges)
        sources.add(QLatin1String(name), [db, kind = kind](const ReportParameters& p) {
            return reportRows(ReportStore(*db).recordsStartingIn(kind, serialOf(p),
                                                                 p.value(QStringLiteral("from")).toDateTime(),
                                                                 p.value(QStringLiteral("to")).toDateTime()));
        });
    return sources;
}

} // namespace tvq52
