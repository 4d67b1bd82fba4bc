#include "reports/graph_store.h"

#include "db/database.h"
#include "records/recorded_data.h"

#include <QSqlError>
#include <QSqlQuery>

namespace tvq52 {

namespace {

bool failed(const QSqlQuery& query, QString* error)
{
    if (!query.lastError().isValid())
        return false;
    *error = query.lastError().text();
    return true;
}

int digits(const QString& text, int at, int count)
{
    int n = 0;
    for (int k = 0; k < count; ++k) {
        const int d = text.at(at + k).unicode() - '0';
        if (d < 0 || d > 9)
            return -1;
        n = n * 10 + d;
    }
    return n;
}

// "yyyy-mm-dd" and "hh:mm" without the general parsers: a year of records
// is a quarter of a million rows.
bool minuteOf(const QString& date, const QString& time, qint64* minute)
{
    if (date.size() < 10 || time.size() < 5)
        return false;
    const QDate day(digits(date, 0, 4), digits(date, 5, 2), digits(date, 8, 2));
    const int h = digits(time, 0, 2);
    const int m = digits(time, 3, 2);
    if (!day.isValid() || h < 0 || h > 23 || m < 0 || m > 59)
        return false;
    *minute = (day.toJulianDay() - QDate(1970, 1, 1).toJulianDay()) * 1440 + h * 60 + m;
    return true;
}

QDateTime stamp(const QVariant& date, const QVariant& time)
{
    qint64 minute = 0;
    if (!minuteOf(date.toString(), time.toString(), &minute))
        return {};
    return QDateTime::fromSecsSinceEpoch(minute * 60, Qt::UTC);
}

// A unit's intervals in time order; names quoted, as a server needs them spelt.
QString intervalsOf(std::initializer_list<const char*> columns)
{
    QStringList names;
    for (const char* c : columns)
        names << quoteIdentifier(QString::fromLatin1(c));
    return QStringLiteral(
               "SELECT %1 FROM \"Intervalos\" WHERE \"LNumeroSerie\" = ? "
               "ORDER BY \"DFechaInicio\", \"THoraInicio\"")
        .arg(names.join(QLatin1String(", ")));
}

} // namespace

bool loadGraphRecords(Database& database, qint32 serial, QList<GraphRecord>* records, QString* error)
{
    QSqlQuery query(database.connection());
    query.setForwardOnly(true);
    query.prepare(intervalsOf({"DFechaInicio",
                               "THoraInicio",
                               "DFechaFinal",
                               "THoraFinal",
                               "SLeqLocal",
                               "SLeqVecino",
                               "SMaxFast",
                               "ByNivelLeqLocal",
                               "ByNivelLeqVecino",
                               "ByNivelMFast",
                               "SMaxLeq1min",
                               "SMinLeq1min",
                               "SL1",
                               "SL5",
                               "SL10",
                               "SL50",
                               "SL90",
                               "IDesco",
                               "IPasadasLocal",
                               "IPasadasVecino",
                               "IE3",
                               "IPasMaxFast",
                               "ByLineaInsuficiente",
                               "ByDNA",
                               "ByENA"}));
    query.addBindValue(serial);
    if (!query.exec()) {
        *error = query.lastError().text();
        return false;
    }
    records->clear();
    while (query.next()) {
        GraphRecord r;
        r.start = stamp(query.value(0), query.value(1));
        r.end = stamp(query.value(2), query.value(3));
        r.leqVenue = query.value(4).toFloat();
        r.leqNeighbour = query.value(5).toFloat();
        r.maxFast = query.value(6).toFloat();
        r.limitVenue = query.value(7).toInt();
        r.limitNeighbour = query.value(8).toInt();
        r.limitFast = query.value(9).toInt();
        r.maxLeq1 = query.value(10).toFloat();
        r.minLeq1 = query.value(11).toFloat();
        for (int p = 0; p < 5; ++p)
            r.percentiles[std::size_t(p)] = query.value(12 + p).toFloat();
        r.disconnections = query.value(17).toInt();
        r.passesVenue = query.value(18).toInt();
        r.passesNeighbour = query.value(19).toInt();
        r.sensorInactive = query.value(20).toInt();
        r.fastPasses = query.value(21).toInt();
        r.lineShort = query.value(22).toInt();
        r.dna = query.value(23).toInt();
        r.ena = query.value(24).toInt();
        records->append(r);
    }
    return !failed(query, error);
}

bool loadHistory(Database& database, qint32 serial, HistoryData* data, QString* error)
{
    QSqlQuery count(database.connection());
    count.prepare(QStringLiteral("SELECT COUNT(*) FROM \"Intervalos\" WHERE \"LNumeroSerie\" = ?"));
    count.addBindValue(serial);
    if (!count.exec() || !count.next()) {
        *error = count.lastError().text();
        return false;
    }
    *data = HistoryData();
    data->reserve(std::size_t(count.value(0).toLongLong()));

    QSqlQuery query(database.connection());
    query.setForwardOnly(true);
    query.prepare(intervalsOf({"DFechaInicio", "THoraInicio", "ByTLeq", "SLeqLocal", "SLeqVecino", "ByNivelLeqLocal",
                               "ByNivelLeqVecino", "IE3", "IPasadasLocal", "IPasadasVecino"}));
    query.addBindValue(serial);
    if (!query.exec()) {
        *error = query.lastError().text();
        return false;
    }
    while (query.next()) {
        qint64 minute = 0;
        if (!minuteOf(query.value(0).toString(), query.value(1).toString(), &minute))
            continue;
        std::uint8_t flags = 0;
        if (query.value(7).toInt() != 0)
            flags |= HistoryData::SensorInactive;
        if (query.value(8).toInt() > 0)
            flags |= HistoryData::PassVenue;
        if (query.value(9).toInt() > 0)
            flags |= HistoryData::PassNeighbour;
        data->append(minute, std::max(query.value(2).toInt(), 1), query.value(3).toFloat(), query.value(4).toFloat(),
                     std::uint8_t(query.value(5).toInt()), std::uint8_t(query.value(6).toInt()), flags);
    }
    return !failed(query, error);
}

} // namespace tvq52
