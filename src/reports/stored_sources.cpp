#include "reports/stored_sources.h"

#include "reports/report_store.h"

#include <QSqlQuery>
#include <QSqlRecord>

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

// Each row read made a report row by column name, and handed on; the
// names are read once.
ReportStore::RowTake asReportRows(const RowTaker& take)
{
    return [&take, names = QStringList()](const QSqlQuery& read) mutable {
        if (names.isEmpty()) {
            const QSqlRecord record = read.record();
            for (int i = 0; i < record.count(); ++i)
                names << record.fieldName(i);
        }
        ReportRow row;
        for (qsizetype i = 0; i < names.size(); ++i)
            row.set(names[i], read.value(int(i)));
        return take(row);
    };
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
        sources.addStreamed(QLatin1String(name), [db, kind = kind](const ReportParameters& p, const RowTaker& take) {
            return ReportStore(*db).eachEventDate(kind, serialOf(p), asReportRows(take));
        });
    const std::pair<const char*, RecordKind> ranges[] = {{"intervals", RecordKind::Intervals},
                                                         {"sessions", RecordKind::Sessions}};
    for (const auto& [name, kind] : ranges)
        sources.addStreamed(QLatin1String(name), [db, kind = kind](const ReportParameters& p, const RowTaker& take) {
            return ReportStore(*db).eachRecordStartingIn(
                kind, serialOf(p), p.value(QStringLiteral("from")).toDateTime(),
                p.value(QStringLiteral("to")).toDateTime(), asReportRows(take));
        });
    return sources;
}

} // namespace tvq52
