#include "programming/programming_store.h"

#include "core/own_words.h"
#include "db/case_folding.h"
#include "db/database.h"
#include "db/schema.h"
#include "db/server_writes.h"
#include "db/sql_error.h"
#include "db/store.h"
#include "evidence/journal.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>
#include <functional>
#include <vector>

namespace tvq52 {

namespace {

const QString kTable = QStringLiteral("Programacion");
const QString kIntervals = QStringLiteral("IntervaloInhabil");
const QString kSerial = QStringLiteral("LNumeroSerie");

const char* const kSessionColumns[7][2] = {{"TLunesInicio", "TLunesFin"},         {"TMartesInicio", "TMartesFin"},
                                           {"TMiercolesInicio", "TMiercolesFin"}, {"TJuevesInicio", "TJuevesFin"},
                                           {"TViernesInicio", "TViernesFin"},     {"TSabadoInicio", "TSabadoFin"},
                                           {"TDomingoInicio", "TDomingoFin"}};

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

namespace {

// One column of a Programacion row and the record field it holds. `get`
// gives no value for a column the record leaves unwritten; `put` is empty for
// a column that is only written.
struct ProgrammingColumn {
    QString name;
    std::function<QVariant(const ProgrammingRecord&)> get;
    std::function<void(ProgrammingRecord&, const QVariant&)> put;
};

// The row's columns in the order they are written; the one table drives the
// save and the load.
const std::vector<ProgrammingColumn>& programmingColumns()
{
    using R = ProgrammingRecord;
    static const std::vector<ProgrammingColumn> columns = [] {
        std::vector<ProgrammingColumn> c;
        auto text = [&](const char* name, QString R::*m) {
            c.push_back({col(name), [m](const R& r) { return QVariant(r.*m); },
                         [m](R& r, const QVariant& v) { r.*m = v.toString(); }});
        };
        auto number = [&](const char* name, int R::*m) {
            c.push_back({col(name), [m](const R& r) { return QVariant(r.*m); },
                         [m](R& r, const QVariant& v) { r.*m = v.toInt(); }});
        };
        auto flag = [&](const char* name, bool R::*m) {
            c.push_back({col(name), [m](const R& r) { return QVariant(r.*m); },
                         [m](R& r, const QVariant& v) { r.*m = v.toBool(); }});
        };
        auto action = [&](const char* name, ActionType R::*m) {
            c.push_back({col(name), [m](const R& r) { return QVariant(encodeActionType(r.*m)); },
                         [m](R& r, const QVariant& v) { r.*m = decodeActionType(v.toString()); }});
        };
        c.push_back({kSerial, [](const R& r) { return QVariant(r.serial); },
                     [](R& r, const QVariant& v) { r.serial = v.toInt(); }});
        c.push_back({col("DFecha"), [](const R& r) { return QVariant(r.date); },
                     [](R& r, const QVariant& v) { r.date = v.toDate(); }});
        c.push_back({col("TModelo"), [](const R&) { return QVariant(QStringLiteral("TVQ52")); }, {}});
        text("TContacto", &R::contact);
        text("TLocal", &R::venue);
        text("TDireccion", &R::address);
        text("TPoblacion", &R::town);
        text("TTelefono", &R::phone);
        text("TNota", &R::note);
        text("TVersion", &R::version);
        // The global correction exists from version 4.0 on.
        c.push_back(
            {col("CMI"),
             [](const R& r) { return hasGlobalCorrection(r.version) ? QVariant(r.globalCorrection) : QVariant(); },
             [](R& r, const QVariant& v) { r.globalCorrection = v.toBool(); }});
        flag("BoCambioHora", &R::clockChange);
        action("TTipoActuacionLocal", &R::venueAction);
        action("TTipoActuacionVecino", &R::neighbourAction);
        text("TIdioma", &R::language);
        number("ByTLeq", &R::leqMinutes);
        number("ByMFast", &R::fastLimit);
        flag("BoImpresion", &R::continuousPrinting);
        for (int d = 0; d < 7; ++d) {
            c.push_back({col(kSessionColumns[d][0]), [d](const R& r) { return QVariant(r.sessions[d].start); },
                         [d](R& r, const QVariant& v) { r.sessions[d].start = v.toString(); }});
            c.push_back({col(kSessionColumns[d][1]), [d](const R& r) { return QVariant(r.sessions[d].end); },
                         [d](R& r, const QVariant& v) { r.sessions[d].end = v.toString(); }});
        }
        number("ByNivelDiaLocal", &R::dayLimitVenue);
        number("ByNivelDiaVecino", &R::dayLimitNeighbour);
        text("THoraEmpiezaNoche", &R::nightStart);
        text("THoraTerminaNoche", &R::nightEnd);
        number("ByNivelNocheLocal", &R::nightLimitVenue);
        number("ByNivelNocheVecino", &R::nightLimitNeighbour);
        number("ITiempoAtenuacion", &R::attenuationSeconds);
        number("ByRings", &R::rings);
        for (int i = 0; i < kOctaveCount; ++i)
            c.push_back({col(kOctaveColumns[i]), [i](const R& r) { return QVariant(double(r.octaves[i])); },
                         [i](R& r, const QVariant& v) { r.octaves[i] = v.toFloat(); }});
        return c;
    }();
    return columns;
}

} // namespace

Row programmingRow(const ProgrammingRecord& r)
{
    Row row;
    for (const ProgrammingColumn& c : programmingColumns())
        if (const QVariant v = c.get(r); v.isValid())
            row.set(c.name, v);
    return row;
}

ProgrammingRecord recordFromRow(const Row& row)
{
    ProgrammingRecord r;
    for (const ProgrammingColumn& c : programmingColumns())
        if (c.put)
            c.put(r, row.value(c.name));
    return r;
}

Result<std::optional<StoredProgramming>> loadProgramming(const Store& store, qint32 serial)
{
    const Result<std::optional<Row>> row = store.selectOne(kTable, unitKey(serial));
    if (!row)
        return row.error();
    if (!*row)
        return std::optional<StoredProgramming>();
    StoredProgramming p{recordFromRow(**row), unusedIntervals()};
    const Result<QList<Row>> stored = store.select(kIntervals, unitKey(serial));
    if (!stored)
        return stored.error(); // not a record with its intervals left unused
    for (const Row& i : *stored) {
        const int k = i.value(QStringLiteral("ByIntervalo")).toInt();
        if (k < 1 || k > kIntervalCount)
            continue;
        p.intervals[k - 1] = {i.value(QStringLiteral("TDiaEmpiezaInt")).toString(),
                              timeColumnText(i.value(QStringLiteral("THoraEmpiezaInt"))),
                              i.value(QStringLiteral("TDiaTerminaInt")).toString(),
                              timeColumnText(i.value(QStringLiteral("THoraTerminaInt")))};
    }
    return std::optional<StoredProgramming>(std::move(p));
}

namespace {

Row intervalRow(qint32 serial, int k, const NonWorkingInterval& i)
{
    Row row = unitKey(serial);
    row.set(QStringLiteral("ByIntervalo"), k);
    row.set(QStringLiteral("TDiaEmpiezaInt"), i.startDay.left(8));
    row.set(QStringLiteral("THoraEmpiezaInt"), i.startTime);
    row.set(QStringLiteral("TDiaTerminaInt"), i.endDay.left(8));
    row.set(QStringLiteral("THoraTerminaInt"), i.endTime);
    return row;
}

// The totals stamp and counters start with the row and are afterwards
// only written by a totals download.
Row newUnitRow(const Row& values)
{
    Row added = values;
    const QDateTime now = QDateTime::currentDateTime();
    added.set(QStringLiteral("DFechaTotales"), now.date());
    added.set(QStringLiteral("THoraTotales"), now.time().toString(QStringLiteral("HH:mm:ss")));
    for (const char* c : {"LPasadasLocal", "LPasadasVecino", "LE3", "LCB"})
        added.set(col(c), 0);
    return added;
}

// On a server the admin's functions write the save: the unit's row made
// whole when new, else only the programming's columns.
Status writeProgrammingOnServer(Database& database, const ProgrammingRecord& record, const ProgIntervals& intervals)
{
    const Row added = newUnitRow(programmingRow(record));
    if (Status put = adminPut(database, *schemaTable(kTable), added,
                              {QStringLiteral("DFechaTotales"), QStringLiteral("THoraTotales"),
                               QStringLiteral("LPasadasLocal"), QStringLiteral("LPasadasVecino"), QStringLiteral("LE3"),
                               QStringLiteral("LCB")});
        !put)
        return put;
    for (int k = 1; k <= kIntervalCount; ++k)
        if (Status put = adminPut(database, *schemaTable(kIntervals), intervalRow(record.serial, k, intervals[k - 1]), {});
            !put)
            return put;
    return {};
}

// The writes of a save, inside the caller's transaction.
Status writeProgramming(Store& store, const ProgrammingRecord& record, const ProgIntervals& intervals)
{
    const Row key = unitKey(record.serial);
    const Row values = programmingRow(record);
    if (store.database().isServer())
        return writeProgrammingOnServer(store.database(), record, intervals);
    const Result<int> changed = store.update(kTable, values, key);
    if (!changed)
        return changed.error();
    if (*changed == 0)
        if (Status inserted = store.insert(kTable, newUnitRow(values)); !inserted)
            return inserted;
    for (int k = 1; k <= kIntervalCount; ++k)
        if (Status written = store.upsert(kIntervals, intervalRow(record.serial, k, intervals[k - 1])); !written)
            return written;
    return {};
}

// Holds the unit's row until the transaction ends, so that no other save
// comes between the check and the write: a row lock on a server, the file's
// write lock on SQLite (taken by a write that changes nothing).
Status lockUnitRow(Store& store, qint32 serial)
{
    Database& db = store.database();
    QSqlQuery q(db.connection());
    const QString sql = db.isServer() ? QStringLiteral("SELECT tvq52_admin_lock_unit(CAST(? AS INTEGER))")
                                      : QStringLiteral("UPDATE %1 SET %2 = %2 WHERE %2 = ?")
                                            .arg(quoteIdentifier(kTable), quoteIdentifier(kSerial));
    bool ok = q.prepare(sql);
    if (ok) {
        q.addBindValue(serial);
        ok = q.exec();
    }
    if (!ok)
        return sqlError(q.lastError());
    return {};
}

// The columns a programming save writes; the totals a download keeps there
// are not the programming.
bool sameProgramming(const std::optional<Row>& a, const std::optional<Row>& b, const ProgrammingRecord& record)
{
    if (!a || !b)
        return !a && !b;
    const Row written = programmingRow(record);
    for (const QString& column : written.columns())
        if (a->value(column) != b->value(column))
            return false;
    return true;
}

} // namespace

Status deleteUnitWithEntry(Database& database, qint32 serial)
{
    if (Status allowed = checkRight(database, Operation::UnitDeletion); !allowed)
        return allowed;
    Store store(database);
    Journal journal(database);
    const Status deleted = inTransaction(store, [&] {
        if (Status removed = store.removeUnit(serial); !removed)
            return removed;
        // Without its entry the removed records would read as tampering.
        return journal.appendInTransaction(JournalAction::UnitDeletion, serial, {},
                                           journalOutcomeName(JournalOutcome::Completed), {});
    });
    if (deleted)
        return {};
    return ownWords(QStringLiteral("No se ha borrado nada de la unidad %1"), {QString::number(serial)},
                    untranslatedText(deleted.error()));
}

Status saveProgramming(Store& store, const ProgrammingRecord& record, const ProgIntervals& intervals)
{
    return inTransaction(store, [&] { return writeProgramming(store, record, intervals); });
}

Result<std::optional<Row>> storedProgrammingRow(const Store& store, qint32 serial)
{
    return store.selectOne(kTable, unitKey(serial));
}

Result<SaveOutcome> saveProgrammingOver(Store& store, const ProgrammingRecord& record, const ProgIntervals& intervals,
                                        const std::optional<Row>& loaded, const std::function<bool()>& overwrite)
{
    std::optional<Row> expected = loaded;
    for (;;) {
        bool changedElsewhere = false;
        std::optional<Row> seen;
        const Status saved = inTransaction(store, [&]() -> Status {
            if (Status locked = lockUnitRow(store, record.serial); !locked)
                return locked;
            const Result<std::optional<Row>> now = storedProgrammingRow(store, record.serial);
            if (!now)
                return now.error();
            seen = *now;
            if (!sameProgramming(seen, expected, record)) {
                changedElsewhere = true;
                return Error();
            }
            return writeProgramming(store, record, intervals);
        });
        if (saved)
            return SaveOutcome::Saved;
        if (!changedElsewhere)
            return saved.error();
        if (!overwrite())
            return SaveOutcome::KeptOther;
        // Over what the user was told about; a save meanwhile asks again.
        expected = seen;
    }
}

void LoadedProgramming::take(const Store& store, qint32 unit)
{
    serial = unit;
    // A row that cannot be read is taken as none: the save then asks.
    const Result<std::optional<Row>> found = storedProgrammingRow(store, unit);
    row = found ? *found : std::nullopt;
}

Result<SaveOutcome> saveShownProgramming(Store& store, const ProgrammingRecord& record, const ProgIntervals& intervals,
                                         LoadedProgramming& loaded, const std::function<bool()>& overwrite)
{
    if (loaded.serial != record.serial)
        loaded.take(store, record.serial);
    const Result<SaveOutcome> outcome = saveProgrammingOver(store, record, intervals, loaded.row, overwrite);
    if (outcome.ok() && *outcome == SaveOutcome::Saved)
        loaded.take(store, record.serial);
    return outcome;
}

namespace {

Result<std::optional<qint32>> firstSerial(Database& database, const QString& where, const QString& order,
                                          const QVariantList& binds)
{
    QSqlQuery q(database.connection());
    q.setForwardOnly(true);
    const QString sql = QStringLiteral("SELECT %1 FROM %2%3 ORDER BY %1 %4 LIMIT 1")
                            .arg(quoteIdentifier(kSerial), quoteIdentifier(kTable),
                                 where.isEmpty() ? QString() : QLatin1String(" WHERE ") + where, order);
    if (!q.prepare(sql))
        return sqlError(q.lastError());
    for (const QVariant& v : binds)
        q.addBindValue(v);
    if (!q.exec())
        return sqlError(q.lastError());
    if (!q.next())
        return std::optional<qint32>();
    return std::optional<qint32>(q.value(0).toInt());
}

} // namespace

Result<std::optional<qint32>> unitSerial(Database& database, SerialStep step, qint32 serial)
{
    const QString column = quoteIdentifier(kSerial);
    switch (step) {
    case SerialStep::First:
        return firstSerial(database, {}, QStringLiteral("ASC"), {});
    case SerialStep::After:
        return firstSerial(database, column + QLatin1String(" > ?"), QStringLiteral("ASC"), {serial});
    case SerialStep::Before:
        return firstSerial(database, column + QLatin1String(" < ?"), QStringLiteral("DESC"), {serial});
    case SerialStep::Equal:
        break;
    }
    return firstSerial(database, column + QLatin1String(" = ?"), QStringLiteral("ASC"), {serial});
}

Result<std::optional<qint32>> firstUnitContaining(Database& database, const QString& column, const QString& text)
{
    if (!schemaTable(kTable)->column(column))
        return std::optional<qint32>();
    // Dates are stored "yyyy-mm-dd" and shown "dd/mm/yy".
    const QString stored = QStringLiteral("CAST(%1 AS VARCHAR(255))").arg(quoteIdentifier(column));
    const QString shown = column == QLatin1String("DFecha")
        ? QStringLiteral("(SUBSTR(%1, 9, 2) || '/' || SUBSTR(%1, 6, 2) || '/' || SUBSTR(%1, 3, 2))").arg(stored)
        : foldedSql(database.dialect(), stored);
    return firstSerial(database, shown + QLatin1String(" LIKE ? ESCAPE '\\'"), QStringLiteral("ASC"),
                       {containsPattern(text)});
}

} // namespace tvq52
