#include "reports/report_store.h"

#include "core/own_words.h"
#include "reports/report.h"

#include <QSqlError>
#include <QSqlQuery>

namespace tvq52 {

namespace {

Row bySerial(qint32 serial)
{
    Row where;
    where.set(QStringLiteral("LNumeroSerie"), serial);
    return where;
}

QString q(const char* name)
{
    return quoteIdentifier(QString::fromLatin1(name));
}

Error databaseError(const QString& detail)
{
    return reportError(ReportFailure::Database, detail);
}

} // namespace

Result<NamedColumns> NamedColumns::of(const QSqlRecord& record, const QStringList& names)
{
    NamedColumns columns;
    QStringList missing;
    for (const QString& name : names) {
        const int at = record.indexOf(name);
        if (at < 0)
            missing << name;
        columns.at_.insert(name, at);
        columns.byOrder_.push_back(at);
    }
    if (!missing.isEmpty())
        return databaseError(QStringLiteral("no column %1").arg(missing.join(QLatin1String(", "))));
    return columns;
}

QVariant NamedColumns::value(const QSqlQuery& row, const QString& name) const
{
    const int at = at_.value(name, -1);
    Q_ASSERT(at >= 0);
    return at < 0 ? QVariant() : row.value(at);
}

QVariant NamedColumns::value(const QSqlQuery& row, int k) const
{
    Q_ASSERT(k >= 0 && std::size_t(k) < byOrder_.size());
    return row.value(byOrder_[std::size_t(k)]);
}

const QStringList& IntervalReader::columns()
{
    static const QStringList names{"DFechaInicio",
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
                                   "ByENA"};
    return names;
}

Result<IntervalReader> IntervalReader::of(const QSqlRecord& record, int noLimit)
{
    Result<NamedColumns> named = NamedColumns::of(record, columns());
    if (!named)
        return named.error();
    return IntervalReader(std::move(*named), noLimit);
}

namespace {

// The positions of IntervalReader::columns().
enum IntervalColumn : std::uint8_t {
    StartDate,
    StartTime,
    EndDate,
    EndTime,
    LeqVenue,
    LeqNeighbour,
    MaxFast,
    LimitVenue,
    LimitNeighbour,
    LimitFast,
    MaxLeq1,
    MinLeq1,
    L1,
    L5,
    L10,
    L50,
    L90,
    Disconnections,
    PassesVenue,
    PassesNeighbour,
    SensorInactive,
    FastPasses,
    LineShort,
    Dna,
    Ena
};

} // namespace

GraphRecord IntervalReader::read(const QSqlQuery& row) const
{
    // By position: a whole history is millions of values.
    const auto v = [&](IntervalColumn c) { return columns_.value(row, int(c)); };
    const auto limit = [&](IntervalColumn c) {
        const QVariant value = v(c);
        return value.isNull() ? noLimit_ : value.toInt();
    };
    GraphRecord r;
    r.start = storedStamp(v(StartDate), v(StartTime));
    r.end = storedStamp(v(EndDate), v(EndTime));
    r.leqVenue = v(LeqVenue).toFloat();
    r.leqNeighbour = v(LeqNeighbour).toFloat();
    r.maxFast = v(MaxFast).toFloat();
    r.limitVenue = limit(LimitVenue);
    r.limitNeighbour = limit(LimitNeighbour);
    r.limitFast = limit(LimitFast);
    r.maxLeq1 = v(MaxLeq1).toFloat();
    r.minLeq1 = v(MinLeq1).toFloat();
    for (std::size_t p = 0; p < r.percentiles.size(); ++p)
        r.percentiles[p] = v(IntervalColumn(L1 + p)).toFloat();
    r.disconnections = v(Disconnections).toInt();
    r.passesVenue = v(PassesVenue).toInt();
    r.passesNeighbour = v(PassesNeighbour).toInt();
    r.sensorInactive = v(SensorInactive).toInt();
    r.fastPasses = v(FastPasses).toInt();
    r.lineShort = v(LineShort).toInt();
    r.dna = v(Dna).toInt();
    r.ena = v(Ena).toInt();
    return r;
}

Result<RangeQuery> rowsStartingIn(const QString& table, const QStringList& columns, qint32 serial,
                                  const QDateTime& from, const QDateTime& to, SqlDialect dialect)
{
    const TableDef* def = schemaTable(table);
    if (!def)
        return databaseError(QStringLiteral("no table %1").arg(table));
    QStringList select;
    for (const QString& c : columns) {
        // Only schema names reach the text; a misspelt one is told, never dropped.
        if (!def->column(c))
            return databaseError(QStringLiteral("%1 has no column %2").arg(table, c));
        select << quoteIdentifier(c);
    }
    const QString date = q("DFechaInicio"), time = q("THoraInicio");
    RangeQuery r;
    // Date then time, so the key's index serves the range.
    r.sql = QStringLiteral(
                "SELECT %1 FROM %2 WHERE %3 = ? AND (%4 > ? OR (%4 = ? AND %5 >= ?))"
                " AND (%4 < ? OR (%4 = ? AND %5 <= ?)) ORDER BY %4, %5")
                .arg(select.isEmpty() ? QStringLiteral("*") : select.join(QLatin1String(", ")), quoteIdentifier(table),
                     q("LNumeroSerie"), date, time);
    const ColumnDef* dateDef = def->column(QStringLiteral("DFechaInicio"));
    const auto day = [&](const QDateTime& t) { return toStorage(*dateDef, t.date(), dialect); };
    const auto hhnn = [](const QDateTime& t) { return t.time().toString(QStringLiteral("HH:mm")); };
    r.binds = {serial, day(from), day(from), hhnn(from), day(to), day(to), hhnn(to)};
    return r;
}

Result<Row> ReportStore::programming(qint32 serial) const
{
    const Result<std::optional<Row>> row = store_.selectOne(QStringLiteral("Programacion"), bySerial(serial));
    if (!row)
        return databaseError(untranslatedText(row.error()));
    if (!*row) {
        // Not a fault of the database: the unit has no stored programming.
        Error missing = databaseError({});
        missing.text = QStringLiteral("No hay programación guardada del número de serie %1");
        missing.textArgs = {QString::number(serial)};
        return missing;
    }
    return **row;
}

Result<std::vector<StoredNonWorkingInterval>> ReportStore::nonWorkingIntervals(qint32 serial) const
{
    std::vector<StoredNonWorkingInterval> out;
    const Result<QList<Row>> rows =
        store_.select(QStringLiteral("IntervaloInhabil"), bySerial(serial), {QStringLiteral("ByIntervalo")});
    if (!rows)
        return databaseError(untranslatedText(rows.error()));
    for (const Row& r : *rows)
        out.push_back({r.value(QStringLiteral("ByIntervalo")).toInt(),
                       r.value(QStringLiteral("TDiaEmpiezaInt")).toString(),
                       r.value(QStringLiteral("THoraEmpiezaInt")).toString(),
                       r.value(QStringLiteral("TDiaTerminaInt")).toString(),
                       r.value(QStringLiteral("THoraTerminaInt")).toString()});
    return out;
}

Status ReportStore::writeMemo(const QString& listing)
{
    Row values;
    values.set(QStringLiteral("Memo"), listing);
    if (const Result<int> updated = settings_.update(QStringLiteral("Configuracion"), values, Row()); !updated)
        return databaseError(untranslatedText(updated.error()));
    return {};
}

Status ReportStore::query(const QString& sql, const QVariantList& binds,
                          const std::function<Status(const QSqlQuery& row)>& take) const
{
    QSqlQuery query(database_.connection());
    query.setForwardOnly(true);
    bool ok = query.prepare(sql);
    for (const QVariant& v : binds)
        query.addBindValue(v);
    ok = ok && query.exec();
    while (ok && query.next())
        if (Status taken = take(query); !taken)
            return taken;
    if (!ok || query.lastError().isValid()) {
        database_.noteFailure(query.lastError());
        return databaseError(query.lastError().text());
    }
    return {};
}

Result<ReportStore::Rows> ReportStore::rows(const QString& sql, const QVariantList& binds) const
{
    Rows out;
    Status read = query(sql, binds, [&out](const QSqlQuery& row) {
        const QSqlRecord record = row.record();
        Row r;
        for (int i = 0; i < record.count(); ++i)
            r.set(record.fieldName(i), row.value(i));
        out.push_back(std::move(r));
        return Status();
    });
    if (!read)
        return read.error();
    return out;
}

Result<ReportStore::Rows> ReportStore::programmingRows(qint32 serial) const
{
    return rows(QStringLiteral("SELECT * FROM \"Programacion\" WHERE \"LNumeroSerie\" = ?"), {serial});
}

namespace {

QString eventDatesSql(EventKind list)
{
    return QStringLiteral("SELECT * FROM %1 WHERE \"LNumeroSerie\" = ? ORDER BY \"DFecha\", \"THora\"")
        .arg(quoteIdentifier(eventTable(list)));
}

} // namespace

Status ReportStore::eachEventDate(EventKind list, qint32 serial, const RowTake& take) const
{
    return query(eventDatesSql(list), {serial}, take);
}

Status ReportStore::eachProgrammingRow(qint32 serial, const RowTake& take) const
{
    return query(QStringLiteral("SELECT * FROM \"Programacion\" WHERE \"LNumeroSerie\" = ?"), {serial}, take);
}

Status ReportStore::eachNonWorkingRow(qint32 serial, const RowTake& take) const
{
    return query(QStringLiteral("SELECT * FROM \"IntervaloInhabil\" WHERE \"LNumeroSerie\" = ? ORDER BY "
                                "\"ByIntervalo\""),
                 {serial}, take);
}

Status ReportStore::eachRecordStartingIn(RecordKind kind, qint32 serial, const QDateTime& from, const QDateTime& to,
                                         const RowTake& take) const
{
    return inRange(recordTable(kind), {}, serial, from, to, take);
}

Result<qint64> ReportStore::countStartingIn(RecordKind kind, qint32 serial, const QDateTime& from,
                                            const QDateTime& to) const
{
    const QString table = recordTable(kind);
    const Result<RangeQuery> range = rowsStartingIn(table, {}, serial, from, to, database_.dialect());
    if (!range)
        return range.error();
    // The same condition, counted.
    const QString sql = range->sql;
    const qsizetype where = sql.indexOf(QLatin1String(" WHERE "));
    const qsizetype order = sql.indexOf(QLatin1String(" ORDER BY"));
    const QString count =
        QStringLiteral("SELECT COUNT(*) FROM %1").arg(quoteIdentifier(table)) + sql.mid(where, order - where);
    qint64 n = 0;
    Status read = query(count, range->binds, [&n](const QSqlQuery& row) {
        n = row.value(0).toLongLong();
        return Status();
    });
    if (!read)
        return read.error();
    return n;
}

Result<NightHours> ReportStore::nightHours(qint32 serial) const
{
    NightHours night;
    const auto hhmm = [](const QVariant& v) {
        return QTime::fromString(v.toString().left(5), QStringLiteral("HH:mm"));
    };
    Status read = query(QStringLiteral("SELECT %1, %2 FROM %3 WHERE %4 = ?")
                            .arg(q("THoraEmpiezaNoche"), q("THoraTerminaNoche"), q("Programacion"), q("LNumeroSerie")),
                        {serial}, [&](const QSqlQuery& row) {
                            night.start = hhmm(row.value(0));
                            night.end = hhmm(row.value(1));
                            return Status();
                        });
    if (!read)
        return read.error();
    return night;
}

Status ReportStore::inRange(const QString& table, const QStringList& columns, qint32 serial, const QDateTime& from,
                            const QDateTime& to, const std::function<Status(const QSqlQuery& row)>& take) const
{
    const Result<RangeQuery> range = rowsStartingIn(table, columns, serial, from, to, database_.dialect());
    if (!range)
        return range.error();
    return query(range->sql, range->binds, take);
}

Result<std::vector<IntervalFigures>> ReportStore::intervalFigures(qint32 serial, const QDateTime& from,
                                                                  const QDateTime& to) const
{
    std::vector<IntervalFigures> out;
    std::optional<IntervalReader> reader;
    Status read = inRange(QStringLiteral("Intervalos"), IntervalReader::columns(), serial, from, to,
                          [&](const QSqlQuery& row) -> Status {
                              if (!reader) {
                                  Result<IntervalReader> made = IntervalReader::of(row.record(), 255);
                                  if (!made)
                                      return made.error();
                                  reader.emplace(std::move(*made));
                              }
                              const GraphRecord g = reader->read(row);
                              if (g.start.isValid() && g.end.isValid())
                                  out.push_back(figuresOf(g));
                              return {};
                          });
    if (!read)
        return read.error();
    return out;
}

Result<std::vector<SessionFigures>> ReportStore::sessionFigures(qint32 serial, const QDateTime& from,
                                                                const QDateTime& to) const
{
    static const QStringList names{"DFechaInicio", "THoraInicio",   "DFechaFinal",      "THoraFinal",
                                   "SLeq",         "LPasadasLocal", "LPasadasVecino",   "LPasMaxFast",
                                   "LE3",          "LDesco",        "ITiempoAtenuacion"};
    std::vector<SessionFigures> out;
    std::optional<NamedColumns> columns;
    Status read = inRange(QStringLiteral("Sesiones"), names, serial, from, to, [&](const QSqlQuery& row) -> Status {
        if (!columns) {
            Result<NamedColumns> made = NamedColumns::of(row.record(), names);
            if (!made)
                return made.error();
            columns.emplace(std::move(*made));
        }
        const auto v = [&](const char* name) { return columns->value(row, QString::fromLatin1(name)); };
        SessionFigures f;
        f.start = storedStamp(v("DFechaInicio"), v("THoraInicio"));
        f.end = storedStamp(v("DFechaFinal"), v("THoraFinal"));
        f.leq = v("SLeq").toFloat();
        f.passesVenue = v("LPasadasLocal").toLongLong();
        f.passesNeighbour = v("LPasadasVecino").toLongLong();
        f.passesFast = v("LPasMaxFast").toLongLong();
        f.sensorInactive = v("LE3").toLongLong();
        f.disconnections = v("LDesco").toLongLong();
        f.attenuation = v("ITiempoAtenuacion").toInt();
        out.push_back(f);
        return {};
    });
    if (!read)
        return read.error();
    return out;
}

} // namespace tvq52
