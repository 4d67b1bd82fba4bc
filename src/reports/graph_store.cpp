#include "reports/graph_store.h"

#include "db/database.h"
#include "reports/report.h"
#include "reports/report_store.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <algorithm>

namespace tvq52 {

namespace {

Error failure(const QSqlQuery& query)
{
    return reportError(ReportFailure::Database, query.lastError().text());
}

// A unit's intervals in time order, or newest first; names quoted, as a
// server needs them spelt.
QString intervalsOf(const QStringList& columns, bool newestFirst = false)
{
    QStringList names;
    for (const QString& c : columns)
        names << quoteIdentifier(c);
    return QStringLiteral(
               "SELECT %1 FROM \"Intervalos\" WHERE \"LNumeroSerie\" = ? "
               "ORDER BY \"DFechaInicio\"%2, \"THoraInicio\"%2")
        .arg(names.join(QLatin1String(", ")), newestFirst ? QStringLiteral(" DESC") : QString());
}

Result<QList<GraphRecord>> graphRecords(Database& database, const QString& sql, qint32 serial)
{
    QSqlQuery query(database.connection());
    query.setForwardOnly(true);
    query.prepare(sql);
    query.addBindValue(serial);
    if (!query.exec())
        return failure(query);
    // A stored 0 limit is no value on the graph; so is a missing one.
    const Result<IntervalReader> reader = IntervalReader::of(query.record(), 0);
    if (!reader)
        return reader.error();
    QList<GraphRecord> records;
    while (query.next())
        records.append(reader->read(query));
    if (query.lastError().isValid())
        return failure(query);
    return records;
}

} // namespace

Result<QList<GraphRecord>> loadGraphRecords(Database& database, qint32 serial)
{
    return graphRecords(database, intervalsOf(IntervalReader::columns()), serial);
}

Result<qint64> countGraphRecords(Database& database, qint32 serial)
{
    QSqlQuery count(database.connection());
    count.prepare(QStringLiteral("SELECT COUNT(*) FROM \"Intervalos\" WHERE \"LNumeroSerie\" = ?"));
    count.addBindValue(serial);
    if (!count.exec() || !count.next())
        return failure(count);
    return count.value(0).toLongLong();
}

Result<QList<GraphRecord>> loadGraphRecords(Database& database, qint32 serial, qint64 first, int count, qint64 total)
{
    first = std::max<qint64>(first, 0);
    count = int(std::clamp<qint64>(total - first, 0, std::max(count, 0)));
    // Skipping rows walks them: they are counted from the nearer end, and
    // the window opens on the newest.
    const qint64 fromNewest = total - first - count;
    const bool newestFirst = fromNewest < first;
    const QString sql = intervalsOf(IntervalReader::columns(), newestFirst)
        + QStringLiteral(" LIMIT %1 OFFSET %2").arg(count).arg(newestFirst ? fromNewest : first);
    Result<QList<GraphRecord>> records = graphRecords(database, sql, serial);
    if (records && newestFirst)
        std::reverse(records->begin(), records->end());
    return records;
}

Result<HistoryData> loadHistory(Database& database, qint32 serial)
{
    const Result<qint64> count = countGraphRecords(database, serial);
    if (!count)
        return count.error();
    HistoryData data;
    data.reserve(std::size_t(*count));

    static const QStringList names{"DFechaInicio",    "THoraInicio",      "ByTLeq", "SLeqLocal",     "SLeqVecino",
                                   "ByNivelLeqLocal", "ByNivelLeqVecino", "IE3",    "IPasadasLocal", "IPasadasVecino"};
    QSqlQuery query(database.connection());
    query.setForwardOnly(true);
    query.prepare(intervalsOf(names));
    query.addBindValue(serial);
    if (!query.exec())
        return failure(query);
    const Result<NamedColumns> columns = NamedColumns::of(query.record(), names);
    if (!columns)
        return columns.error();
    // By position in `names`: a year of intervals is millions of values.
    enum : std::uint8_t {
        StartDate,
        StartTime,
        Tleq,
        LeqVenue,
        LeqNeighbour,
        LimitVenue,
        LimitNeighbour,
        Sensor,
        PassesVenue,
        PassesNeighbour
    };
    const auto v = [&](int k) { return columns->value(query, k); };
    while (query.next()) {
        const QDateTime start = storedStamp(v(StartDate), v(StartTime));
        if (!start.isValid())
            continue;
        std::uint8_t flags = 0;
        if (v(Sensor).toInt() != 0)
            flags |= HistoryData::SensorInactive;
        if (v(PassesVenue).toInt() > 0)
            flags |= HistoryData::PassVenue;
        if (v(PassesNeighbour).toInt() > 0)
            flags |= HistoryData::PassNeighbour;
        data.append(start.toSecsSinceEpoch() / 60, std::max(v(Tleq).toInt(), 1), v(LeqVenue).toFloat(),
                    v(LeqNeighbour).toFloat(), std::uint8_t(v(LimitVenue).toInt()),
                    std::uint8_t(v(LimitNeighbour).toInt()), flags);
    }
    if (query.lastError().isValid())
        return failure(query);
    return data;
}

} // namespace tvq52
