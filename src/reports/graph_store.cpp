#include "reports/graph_store.h"

#include "db/database.h"
#include "reports/report.h"
#include "reports/report_store.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace tvq52 {

namespace {

Error failure(const QSqlQuery& query)
{
    return reportError(ReportFailure::Database, query.lastError().text());
}

// A unit's intervals in time order; names quoted, as a server needs them spelt.
QString intervalsOf(const QStringList& columns)
{
    QStringList names;
    for (const QString& c : columns)
        names << quoteIdentifier(c);
    return QStringLiteral(
               "SELECT %1 FROM \"Intervalos\" WHERE \"LNumeroSerie\" = ? "
               "ORDER BY \"DFechaInicio\", \"THoraInicio\"")
        .arg(names.join(QLatin1String(", ")));
}

} // namespace

Result<QList<GraphRecord>> loadGraphRecords(Database& database, qint32 serial)
{
    QSqlQuery query(database.connection());
    query.setForwardOnly(true);
    query.prepare(intervalsOf(IntervalReader::columns()));
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

Result<HistoryData> loadHistory(Database& database, qint32 serial)
{
    QSqlQuery count(database.connection());
    count.prepare(QStringLiteral("SELECT COUNT(*) FROM \"Intervalos\" WHERE \"LNumeroSerie\" = ?"));
    count.addBindValue(serial);
    if (!count.exec() || !count.next())
        return failure(count);
    HistoryData data;
    data.reserve(std::size_t(count.value(0).toLongLong()));

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
    enum : std::uint8_t { StartDate, StartTime, Tleq, LeqVenue, LeqNeighbour, LimitVenue, LimitNeighbour, Sensor,
                          PassesVenue, PassesNeighbour };
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
