#include "reports/report_store.h"

namespace tvq52 {

namespace {

Row bySerial(qint32 serial)
{
    Row where;
    where.set(QStringLiteral("LNumeroSerie"), serial);
    return where;
}

} // namespace

std::optional<Row> ReportStore::programming(qint32 serial)
{
    return store_.selectOne(QStringLiteral("Programacion"), bySerial(serial));
}

std::vector<StoredNonWorkingInterval> ReportStore::nonWorkingIntervals(qint32 serial)
{
    std::vector<StoredNonWorkingInterval> out;
    const QList<Row> rows =
        store_.select(QStringLiteral("IntervaloInhabil"), bySerial(serial), {QStringLiteral("ByIntervalo")});
    for (const Row& r : rows)
        out.push_back({r.value(QStringLiteral("ByIntervalo")).toInt(),
                       r.value(QStringLiteral("TDiaEmpiezaInt")).toString(),
                       r.value(QStringLiteral("THoraEmpiezaInt")).toString(),
                       r.value(QStringLiteral("TDiaTerminaInt")).toString(),
                       r.value(QStringLiteral("THoraTerminaInt")).toString()});
    return out;
}

bool ReportStore::writeMemo(const QString& listing)
{
    Row values;
    values.set(QStringLiteral("Memo"), listing);
    return settings_.update(QStringLiteral("Configuracion"), values, Row()) >= 0;
}

RecordSource ReportStore::programmingSource(qint32 serial)
{
    return {QStringLiteral("SELECT * FROM \"Programacion\" WHERE \"LNumeroSerie\" = ?"), {serial}};
}

RecordSource ReportStore::eventDateSource(EventDates list, qint32 serial)
{
    const char* table = list == EventDates::Reprogrammed ? "DiaReprogramado"
        : list == EventDates::Erased                     ? "DiaBorrado"
                                                         : "DiaFinalBateria";
    return {QStringLiteral("SELECT * FROM \"%1\" WHERE \"LNumeroSerie\" = ? ORDER BY \"DFecha\", \"THora\"")
                .arg(QLatin1String(table)),
            {serial}};
}

} // namespace tvq52
