#include "records/record_store.h"

#include "core/own_words.h"
#include "db/database_failure.h"
#include "db/record_reads.h"
#include "evidence/journal.h"

namespace tvq52 {

namespace {

const QString kSerial = QStringLiteral("LNumeroSerie");

// "hh:mm" and "dd/MM/yyyy" as QTime and QDate write them, without parsing
// a format for each of the dozen a record carries.
QString hourMinute(const QDateTime& at)
{
    const QTime t = at.time();
    if (!t.isValid())
        return {};
    const char text[] = {char('0' + t.hour() / 10), char('0' + t.hour() % 10), ':', char('0' + t.minute() / 10),
                         char('0' + t.minute() % 10)};
    return QString::fromLatin1(text, sizeof text);
}

QString dayMonthYear(const QDateTime& at)
{
    const QDate d = at.date();
    if (!d.isValid() || d.year() < 1000 || d.year() > 9999)
        return d.toString(QStringLiteral("dd/MM/yyyy"));
    const int y = d.year();
    const char text[] = {char('0' + d.day() / 10),   char('0' + d.day() % 10), '/',
                         char('0' + d.month() / 10), char('0' + d.month() % 10), '/',
                         char('0' + y / 1000),       char('0' + y / 100 % 10),  char('0' + y / 10 % 10),
                         char('0' + y % 10)};
    return QString::fromLatin1(text, sizeof text);
}

void setStatistics(Row& row, const LevelStatistics& s)
{
    row.append(QStringLiteral("SMaxLeq1min"), s.maxLeq1);
    row.append(QStringLiteral("TFechaMaxLeq1min"), dayMonthYear(s.maxLeq1At));
    row.append(QStringLiteral("THoraMaxLeq1min"), hourMinute(s.maxLeq1At));
    row.append(QStringLiteral("SMinLeq1min"), s.minLeq1);
    row.append(QStringLiteral("TFechaMinLeq1min"), dayMonthYear(s.minLeq1At));
    row.append(QStringLiteral("THoraMinLeq1min"), hourMinute(s.minLeq1At));
    row.append(QStringLiteral("SMaxFast"), s.lfmax);
    row.append(QStringLiteral("ByNivelMFast"), s.lfmaxLimit);
    row.append(QStringLiteral("SL1"), s.l1);
    row.append(QStringLiteral("SL5"), s.l5);
    row.append(QStringLiteral("SL10"), s.l10);
    row.append(QStringLiteral("SL50"), s.l50);
    row.append(QStringLiteral("SL90"), s.l90);
}

// Intervals and sessions are both keyed by their start.
void setKeyAndSpan(Row& row, qint32 serial, const QDateTime& start, const QDateTime& end)
{
    row.append(kSerial, serial);
    row.append(QStringLiteral("DFechaInicio"), start.date());
    row.append(QStringLiteral("THoraInicio"), hourMinute(start));
    row.append(QStringLiteral("DFechaFinal"), end.date());
    row.append(QStringLiteral("THoraFinal"), hourMinute(end));
}

// An interval with the venue's or the neighbour's limit passed marks its
// night for the office's overview, in the record's own transaction.
bool passesLimit(const QString& table, const Row& row)
{
    return table == QLatin1String("Intervalos")
        && (row.value(QStringLiteral("IPasadasLocal")).toInt() > 0
            || row.value(QStringLiteral("IPasadasVecino")).toInt() > 0);
}

} // namespace

Row intervalRow(qint32 serial, const IntervalRecord& r)
{
    Row row;
    setKeyAndSpan(row, serial, r.start, r.end);
    row.append(QStringLiteral("ByTLeq"), r.leqMinutes);
    row.append(QStringLiteral("SLeqLocal"), r.leqVenue);
    row.append(QStringLiteral("SLeqVecino"), r.leqNeighbour);
    row.append(QStringLiteral("TTipoActuacionLocal"), r.actionVenue);
    row.append(QStringLiteral("TTipoActuacionVecino"), r.actionNeighbour);
    row.append(QStringLiteral("ByNivelLeqLocal"), r.limitVenue);
    row.append(QStringLiteral("ByNivelLeqVecino"), r.limitNeighbour);
    setStatistics(row, r.stats);
    row.append(QStringLiteral("IPasMaxFast"), r.lfmaxPasses);
    row.append(QStringLiteral("BoRS232"), r.rs232);
    row.append(QStringLiteral("BoProgramacion"), r.progMode);
    row.append(QStringLiteral("IDesco"), r.disconnections);
    row.append(QStringLiteral("IPasadasLocal"), r.passesVenue);
    row.append(QStringLiteral("IPasadasVecino"), r.passesNeighbour);
    row.append(QStringLiteral("IE3"), r.sensorInactive);
    // The older layout has none of these: an overwritten row keeps its own.
    if (r.dna)
        row.append(QStringLiteral("ByDNA"), *r.dna);
    if (r.ena)
        row.append(QStringLiteral("ByENA"), *r.ena);
    if (r.lineShort)
        row.append(QStringLiteral("ByLineaInsuficiente"), *r.lineShort);
    return row;
}

Row sessionRow(qint32 serial, const SessionRecord& s)
{
    Row row;
    setKeyAndSpan(row, serial, s.start, s.end);
    row.append(QStringLiteral("SLeq"), s.leq);
    row.append(QStringLiteral("ByNivelDiaLocal"), s.dayLimitVenue);
    row.append(QStringLiteral("ByNivelDiaVecino"), s.dayLimitNeighbour);
    row.append(QStringLiteral("THoraInicioNoche"), s.nightStart);
    row.append(QStringLiteral("THoraFinalNoche"), s.nightEnd);
    row.append(QStringLiteral("ByNivelNocheLocal"), s.nightLimitVenue);
    row.append(QStringLiteral("ByNivelNocheVecino"), s.nightLimitNeighbour);
    row.append(QStringLiteral("ITiempoAtenuacion"), s.attenuationSeconds);
    row.append(QStringLiteral("LDesco"), s.disconnections);
    row.append(QStringLiteral("LPasadasLocal"), s.passesVenue);
    row.append(QStringLiteral("LPasadasVecino"), s.passesNeighbour);
    row.append(QStringLiteral("LE3"), s.sensorInactive);
    setStatistics(row, s.stats);
    row.append(QStringLiteral("LPasMaxFast"), s.lfmaxPasses);
    return row;
}

Row eventRow(qint32 serial, const EventDate& event)
{
    Row row;
    row.append(kSerial, serial);
    row.append(QStringLiteral("DFecha"), event.at.date());
    row.append(QStringLiteral("THora"), hourMinute(event.at));
    return row;
}

// A sink for keyed writes is opened whatever the connection's state.
RecordStore::RecordStore(Database& database)
    : database_(database), sink_(std::move(openRowSink(database, kNoBatches)).value())
{}

RecordStore::~RecordStore() = default;

void RecordStore::setJournalEntry(Journal* journal, qint64 entry)
{
    // Made once here rather than for each record.
    list_ = nullptr;
    if (journal && entry > 0)
        list_ = [this, journal, entry](const QString& table, const Row& stored) -> Status {
            if (const Status listed = journal->addRecord(entry, table, stored); !listed)
                return databaseError(sink_->failureOf(journal->lastSqlError()), untranslatedText(listed.error()));
            return {};
        };
}

Result<Stored> RecordStore::write(const QString& tableName, const Row& row)
{
    const qint32 serial = row.value(kSerial).toInt();
    // A unique-key violation can only mean that another PC stored the same
    // record between our look and our write: the next try finds it there.
    std::optional<Error> raced;
    for (int tries = 0; tries < 3; ++tries) {
        Result<KeyedWrite> done = sink_->put(serial, tableName, row, passesLimit(tableName, row), list_);
        if (!done)
            return done.error();
        if (!done->raced)
            return done->stored;
        raced = std::move(done->raced);
    }
    return *raced;
}

Result<Stored> RecordStore::storeInterval(qint32 serial, const IntervalRecord& record)
{
    return write(QStringLiteral("Intervalos"), intervalRow(serial, record));
}

Result<Stored> RecordStore::storeSession(qint32 serial, const SessionRecord& record)
{
    return write(QStringLiteral("Sesiones"), sessionRow(serial, record));
}

Result<Stored> RecordStore::storeEvent(qint32 serial, const EventDate& event)
{
    return write(eventTable(event.kind), eventRow(serial, event));
}

Status RecordStore::storeTotals(qint32 serial, const TotalsReading& totals)
{
    Row values;
    values.set(QStringLiteral("LPasadasLocal"), totals.passesVenue);
    values.set(QStringLiteral("LE3"), totals.sensorInactive);
    values.set(QStringLiteral("LCB"), totals.erasures);
    values.set(QStringLiteral("LPasadasVecino"), totals.passesNeighbour);
    values.set(QStringLiteral("DFechaTotales"), totals.readAt.date());
    values.set(QStringLiteral("THoraTotales"), totals.readAt.time().toString(QStringLiteral("hh:mm:ss")));
    return sink_->updateUnit(serial, values);
}

Status RecordStore::storeFirmware(qint32 serial, const QString& firmware)
{
    Row values;
    values.set(QStringLiteral("TVersion"), firmware.left(5));
    return sink_->updateUnit(serial, values);
}

std::optional<QDateTime> RecordStore::newestIntervalStart(qint32 serial, const std::optional<QDateTime>& before) const
{
    return newestStart(QStringLiteral("Intervalos"), serial, before);
}

std::optional<QDateTime> RecordStore::newestSessionStart(qint32 serial) const
{
    return newestStart(QStringLiteral("Sesiones"), serial, std::nullopt);
}

std::optional<QDateTime> RecordStore::newestStart(const QString& table, qint32 serial,
                                                  const std::optional<QDateTime>& before) const
{
    const Result<QVariantList> newest = newestRecordStart(database_, table, serial, before);
    if (!newest || newest->isEmpty())
        return std::nullopt;
    const QDateTime at = storedStamp(newest->at(0), newest->at(1));
    if (!at.isValid())
        return std::nullopt;
    return at;
}

Result<std::vector<qint64>> RecordStore::rowIds(RecordKind kind, qint32 serial, const QStringList& keys,
                                                bool descending) const
{
    return recordRowIds(database_, recordTable(kind), serial, keys, descending);
}

Result<std::vector<QVector<QVariant>>> RecordStore::rowsById(RecordKind kind, const QStringList& columns,
                                                             const std::vector<qint64>& ids) const
{
    return recordRowsById(database_, recordTable(kind), columns, ids);
}

bool unitStored(Database& database, qint32 serial)
{
    Row key;
    key.set(QStringLiteral("LNumeroSerie"), serial);
    const Store store(database);
    for (int k = 0; k < kRecordKinds; ++k)
        if (const Result<qint64> n = store.count(recordTable(RecordKind(k)), key); n && *n > 0)
            return true;
    return false;
}

} // namespace tvq52
