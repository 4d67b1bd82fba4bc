#include "programming/programming_store.h"

#include "db/store.h"

#include <QDateTime>

namespace tvq52 {

namespace {

const QString kTable = QStringLiteral("Programacion");
const QString kIntervals = QStringLiteral("IntervaloInhabil");
const QString kSerial = QStringLiteral("LNumeroSerie");

const char* const kSessionColumns[7][2] = {
    {"TLunesInicio", "TLunesFin"},     {"TMartesInicio", "TMartesFin"}, {"TMiercolesInicio", "TMiercolesFin"},
    {"TJuevesInicio", "TJuevesFin"},   {"TViernesInicio", "TViernesFin"},
    {"TSabadoInicio", "TSabadoFin"},   {"TDomingoInicio", "TDomingoFin"}};

const char* const kOctaveColumns[kOctaveCount] = {"SOctava31,5Hz", "SOctava63Hz",  "SOctava125Hz",
                                                  "SOctava250Hz",  "SOctava500Hz", "SOctava1kHz",
                                                  "SOctava2kHz",   "SOctava4kHz",  "SOctava8kHz"};

QString col(const char* name)
{
    return QString::fromUtf8(name);
}

Row unitKey(qint32 serial)
{
    Row key;
    key.set(kSerial, serial);
    return key;
}

QString timeColumnText(const QVariant& v)
{
    return v.toString().left(5);
}

} // namespace

Row programmingRow(const ProgrammingRecord& r)
{
    Row row;
    row.set(kSerial, r.serial);
    row.set(QStringLiteral("DFecha"), r.date);
    row.set(QStringLiteral("TModelo"), QStringLiteral("TVQ52"));
    row.set(QStringLiteral("TContacto"), r.contact);
    row.set(QStringLiteral("TLocal"), r.venue);
    row.set(QStringLiteral("TDireccion"), r.address);
    row.set(QStringLiteral("TPoblacion"), r.town);
    row.set(QStringLiteral("TTelefono"), r.phone);
    row.set(QStringLiteral("TNota"), r.note);
    row.set(QStringLiteral("TVersion"), r.version);
    if (hasGlobalCorrection(r.version))
        row.set(QStringLiteral("CMI"), r.globalCorrection);
    row.set(QStringLiteral("BoCambioHora"), r.clockChange);
    row.set(QStringLiteral("TTipoActuacionLocal"), encodeActionType(r.venueAction));
    row.set(QStringLiteral("TTipoActuacionVecino"), encodeActionType(r.neighbourAction));
    row.set(QStringLiteral("TIdioma"), r.language);
    row.set(QStringLiteral("ByTLeq"), r.leqMinutes);
    row.set(QStringLiteral("ByMFast"), r.fastLimit);
    row.set(QStringLiteral("BoImpresion"), r.continuousPrinting);
    for (int d = 0; d < 7; ++d) {
        row.set(col(kSessionColumns[d][0]), r.sessions[d].start);
        row.set(col(kSessionColumns[d][1]), r.sessions[d].end);
    }
    row.set(QStringLiteral("ByNivelDiaLocal"), r.dayLimitVenue);
    row.set(QStringLiteral("ByNivelDiaVecino"), r.dayLimitNeighbour);
    row.set(QStringLiteral("THoraEmpiezaNoche"), r.nightStart);
    row.set(QStringLiteral("THoraTerminaNoche"), r.nightEnd);
    row.set(QStringLiteral("ByNivelNocheLocal"), r.nightLimitVenue);
    row.set(QStringLiteral("ByNivelNocheVecino"), r.nightLimitNeighbour);
    row.set(QStringLiteral("ITiempoAtenuacion"), r.attenuationSeconds);
    row.set(QStringLiteral("ByRings"), r.rings);
    for (int i = 0; i < kOctaveCount; ++i)
        row.set(col(kOctaveColumns[i]), double(r.octaves[i]));
    return row;
}

ProgrammingRecord recordFromRow(const Row& row)
{
    auto text = [&](const char* c) { return row.value(col(c)).toString(); };
    auto number = [&](const char* c) { return row.value(col(c)).toInt(); };
    ProgrammingRecord r;
    r.serial = row.value(kSerial).toInt();
    r.date = row.value(QStringLiteral("DFecha")).toDate();
    r.contact = text("TContacto");
    r.venue = text("TLocal");
    r.address = text("TDireccion");
    r.town = text("TPoblacion");
    r.phone = text("TTelefono");
    r.note = text("TNota");
    r.version = text("TVersion");
    r.clockChange = row.value(QStringLiteral("BoCambioHora")).toBool();
    r.language = text("TIdioma");
    r.leqMinutes = number("ByTLeq");
    r.fastLimit = number("ByMFast");
    r.continuousPrinting = row.value(QStringLiteral("BoImpresion")).toBool();
    r.venueAction = decodeActionType(text("TTipoActuacionLocal"));
    r.neighbourAction = decodeActionType(text("TTipoActuacionVecino"));
    for (int d = 0; d < 7; ++d)
        r.sessions[d] = {text(kSessionColumns[d][0]), text(kSessionColumns[d][1])};
    r.dayLimitVenue = number("ByNivelDiaLocal");
    r.dayLimitNeighbour = number("ByNivelDiaVecino");
    r.nightStart = text("THoraEmpiezaNoche");
    r.nightEnd = text("THoraTerminaNoche");
    r.nightLimitVenue = number("ByNivelNocheLocal");
    r.nightLimitNeighbour = number("ByNivelNocheVecino");
    r.attenuationSeconds = number("ITiempoAtenuacion");
    r.rings = number("ByRings");
    for (int i = 0; i < kOctaveCount; ++i)
        r.octaves[i] = row.value(col(kOctaveColumns[i])).toFloat();
    r.globalCorrection = row.value(QStringLiteral("CMI")).toBool();
    return r;
}

std::optional<StoredProgramming> CarregaProgramacio(const Store& store, qint32 serial)
{
    const auto row = store.selectOne(kTable, unitKey(serial));
    if (!row)
        return std::nullopt;
    StoredProgramming p{recordFromRow(*row), unusedIntervals()};
    for (const Row& i : store.select(kIntervals, unitKey(serial))) {
        const int k = i.value(QStringLiteral("ByIntervalo")).toInt();
        if (k < 1 || k > kIntervalCount)
            continue;
        p.intervals[k - 1] = {i.value(QStringLiteral("TDiaEmpiezaInt")).toString(),
                              timeColumnText(i.value(QStringLiteral("THoraEmpiezaInt"))),
                              i.value(QStringLiteral("TDiaTerminaInt")).toString(),
                              timeColumnText(i.value(QStringLiteral("THoraTerminaInt")))};
    }
    return p;
}

bool GrabaProgramacio(Store& store, const ProgrammingRecord& record, const ProgIntervals& intervals,
                      QString* error)
{
    const Row key = unitKey(record.serial);
    const bool ok = inTransaction(store, [&] {
        const Row values = programmingRow(record);
        const int changed = store.update(kTable, values, key);
        if (changed < 0)
            return false;
        if (changed == 0) {
            // The totals stamp and counters start with the row and are
            // afterwards only written by a totals download.
            Row added = values;
            const QDateTime now = QDateTime::currentDateTime();
            added.set(QStringLiteral("DFechaTotales"), now.date());
            added.set(QStringLiteral("THoraTotales"), now.time().toString(QStringLiteral("HH:mm:ss")));
            for (const char* c : {"LPasadasLocal", "LPasadasVecino", "LE3", "LCB"})
                added.set(col(c), 0);
            if (!store.insert(kTable, added))
                return false;
        }
        for (int k = 1; k <= kIntervalCount; ++k) {
            const NonWorkingInterval& i = intervals[k - 1];
            Row row = key;
            row.set(QStringLiteral("ByIntervalo"), k);
            row.set(QStringLiteral("TDiaEmpiezaInt"), i.startDay.left(8));
            row.set(QStringLiteral("THoraEmpiezaInt"), i.startTime);
            row.set(QStringLiteral("TDiaTerminaInt"), i.endDay.left(8));
            row.set(QStringLiteral("THoraTerminaInt"), i.endTime);
            if (!store.upsert(kIntervals, row))
                return false;
        }
        return true;
    });
    if (!ok && error)
        *error = store.lastError();
    return ok;
}

} // namespace tvq52
