#include "records/record_store.h"

#include "db/database.h"
#include "db/journal.h"

#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>

namespace tvq52 {

namespace {

const QString kSerial = QStringLiteral("LNumeroSerie");

// Where the store's failure kinds sit among error ids: past the catalogue.
constexpr int kStoreFailureIds = 9100;

// The type a bound value is read as where nothing else tells the server.
const char* castType(const ColumnDef& c)
{
    switch (c.type) {
    case ColumnType::Long:
        return "INTEGER";
    case ColumnType::Short:
    case ColumnType::Byte:
        return "SMALLINT";
    case ColumnType::Single:
        return "REAL";
    case ColumnType::Boolean:
        return "BOOLEAN";
    case ColumnType::Date:
        return "DATE";
    case ColumnType::Text:
        break;
    }
    return "TEXT";
}

QString hourMinute(const QDateTime& at)
{
    return at.time().toString(QStringLiteral("hh:mm"));
}

void setStatistics(Row& row, const LevelStatistics& s)
{
    row.set(QStringLiteral("SMaxLeq1min"), s.maxLeq1);
    row.set(QStringLiteral("TFechaMaxLeq1min"), s.maxLeq1At.date().toString(QStringLiteral("dd/MM/yyyy")));
    row.set(QStringLiteral("THoraMaxLeq1min"), hourMinute(s.maxLeq1At));
    row.set(QStringLiteral("SMinLeq1min"), s.minLeq1);
    row.set(QStringLiteral("TFechaMinLeq1min"), s.minLeq1At.date().toString(QStringLiteral("dd/MM/yyyy")));
    row.set(QStringLiteral("THoraMinLeq1min"), hourMinute(s.minLeq1At));
    row.set(QStringLiteral("SMaxFast"), s.lfmax);
    row.set(QStringLiteral("ByNivelMFast"), s.lfmaxLimit);
    row.set(QStringLiteral("SL1"), s.l1);
    row.set(QStringLiteral("SL5"), s.l5);
    row.set(QStringLiteral("SL10"), s.l10);
    row.set(QStringLiteral("SL50"), s.l50);
    row.set(QStringLiteral("SL90"), s.l90);
}

// Intervals and sessions are both keyed by their start.
void setKeyAndSpan(Row& row, qint32 serial, const QDateTime& start, const QDateTime& end)
{
    row.set(kSerial, serial);
    row.set(QStringLiteral("DFechaInicio"), start.date());
    row.set(QStringLiteral("THoraInicio"), hourMinute(start));
    row.set(QStringLiteral("DFechaFinal"), end.date());
    row.set(QStringLiteral("THoraFinal"), hourMinute(end));
}

} // namespace

Row intervalRow(qint32 serial, const IntervalRecord& r)
{
    Row row;
    setKeyAndSpan(row, serial, r.start, r.end);
    row.set(QStringLiteral("ByTLeq"), r.leqMinutes);
    row.set(QStringLiteral("SLeqLocal"), r.leqVenue);
    row.set(QStringLiteral("SLeqVecino"), r.leqNeighbour);
    row.set(QStringLiteral("TTipoActuacionLocal"), r.actionVenue);
    row.set(QStringLiteral("TTipoActuacionVecino"), r.actionNeighbour);
    row.set(QStringLiteral("ByNivelLeqLocal"), r.limitVenue);
    row.set(QStringLiteral("ByNivelLeqVecino"), r.limitNeighbour);
    setStatistics(row, r.stats);
    row.set(QStringLiteral("IPasMaxFast"), r.lfmaxPasses);
    row.set(QStringLiteral("BoRS232"), r.rs232);
    row.set(QStringLiteral("BoProgramacion"), r.progMode);
    row.set(QStringLiteral("IDesco"), r.disconnections);
    row.set(QStringLiteral("IPasadasLocal"), r.passesVenue);
    row.set(QStringLiteral("IPasadasVecino"), r.passesNeighbour);
    row.set(QStringLiteral("IE3"), r.sensorInactive);
    // The older layout has none of these: an overwritten row keeps its own.
    if (r.dna)
        row.set(QStringLiteral("ByDNA"), *r.dna);
    if (r.ena)
        row.set(QStringLiteral("ByENA"), *r.ena);
    if (r.lineShort)
        row.set(QStringLiteral("ByLineaInsuficiente"), *r.lineShort);
    return row;
}

Row sessionRow(qint32 serial, const SessionRecord& s)
{
    Row row;
    setKeyAndSpan(row, serial, s.start, s.end);
    row.set(QStringLiteral("SLeq"), s.leq);
    row.set(QStringLiteral("ByNivelDiaLocal"), s.dayLimitVenue);
    row.set(QStringLiteral("ByNivelDiaVecino"), s.dayLimitNeighbour);
    row.set(QStringLiteral("THoraInicioNoche"), s.nightStart);
    row.set(QStringLiteral("THoraFinalNoche"), s.nightEnd);
    row.set(QStringLiteral("ByNivelNocheLocal"), s.nightLimitVenue);
    row.set(QStringLiteral("ByNivelNocheVecino"), s.nightLimitNeighbour);
    row.set(QStringLiteral("ITiempoAtenuacion"), s.attenuationSeconds);
    row.set(QStringLiteral("LDesco"), s.disconnections);
    row.set(QStringLiteral("LPasadasLocal"), s.passesVenue);
    row.set(QStringLiteral("LPasadasVecino"), s.passesNeighbour);
    row.set(QStringLiteral("LE3"), s.sensorInactive);
    setStatistics(row, s.stats);
    row.set(QStringLiteral("LPasMaxFast"), s.lfmaxPasses);
    return row;
}

Row eventRow(qint32 serial, const EventDate& event)
{
    Row row;
    row.set(kSerial, serial);
    row.set(QStringLiteral("DFecha"), event.at.date());
    row.set(QStringLiteral("THora"), hourMinute(event.at));
    return row;
}

Error storeError(StoreFailure why, const QString& detail)
{
    return Error{kStoreFailureIds + int(why), detail};
}

StoreFailure storeFailureOf(const Error& error)
{
    const int kind = error.catalogueId - kStoreFailureIds;
    return kind > int(StoreFailure::None) && kind <= int(StoreFailure::IoError) ? StoreFailure(kind)
                                                                                : StoreFailure::Refused;
}

RecordStore::RecordStore(Database& database) : database_(database), statements_(database) {}

void RecordStore::setJournalEntry(Journal* journal, qint64 entry)
{
    journal_ = journal;
    entry_ = entry;
}

void RecordStore::failed(StoreFailure why, const QString& text)
{
    failure_ = why;
    lastError_ = text;
}

StoreFailure RecordStore::failureOf(const QSqlError& error) const
{
    switch (databaseFault(error, database_.isServer())) {
    case DatabaseFault::ConnectionLost:
        return StoreFailure::ConnectionLost;
    case DatabaseFault::DiskFull:
        return StoreFailure::DiskFull;
    case DatabaseFault::Locked:
        return StoreFailure::Locked;
    case DatabaseFault::ReadOnly:
        return StoreFailure::ReadOnly;
    case DatabaseFault::IoError:
        return StoreFailure::IoError;
    case DatabaseFault::None:
        break;
    }
    return StoreFailure::Refused;
}

QSqlQuery* RecordStore::statement(const QString& key, const QString& sql)
{
    QSqlQuery* query = statements_.get(sql, key);
    if (!query)
        failed(failureOf(statements_.lastSqlError()), statements_.lastError());
    return query;
}

bool RecordStore::run(QSqlQuery* query, const QVariantList& binds)
{
    if (statements_.run(query, binds))
        return true;
    if (query)
        failed(failureOf(statements_.lastSqlError()), statements_.lastError());
    return false;
}

bool RecordStore::begin()
{
    // On SQLite the write lock is taken at once: a reader turned writer could
    // otherwise meet another program's commit and fail without waiting. A
    // server takes its row locks as the statements run.
    return transactionStep(database_.isServer() ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE"));
}

bool RecordStore::transactionStep(const QString& sql)
{
    if (statements_.execute(sql))
        return true;
    failed(failureOf(statements_.lastSqlError()), statements_.lastError());
    return false;
}

bool RecordStore::unitStillStored(qint32 serial)
{
    // Under SQLite's write lock a deletion elsewhere has either happened or
    // waits for this record's commit.
    const QString sql = QStringLiteral("SELECT 1 FROM \"Programacion\" WHERE \"LNumeroSerie\" = ?");
    QSqlQuery* query = statement(sql, sql);
    if (!run(query, {serial}))
        return false;
    const bool there = query->next();
    query->finish();
    if (!there)
        failed(StoreFailure::UnitGone, QStringLiteral("No Programacion row for %1").arg(serial));
    return there;
}

void RecordStore::rollback()
{
    // Whatever it says, the failure that led here is the one to tell.
    const QString error = lastError_;
    const StoreFailure why = failure_;
    statements_.execute(QStringLiteral("ROLLBACK"));
    failed(why, error);
}

RecordStore::Shape* RecordStore::shape(const QString& tableName, const Row& row)
{
    // The rows of one table differ only in which columns they carry.
    const QString signature = tableName + QLatin1Char('|') + row.columns().join(QLatin1Char('|'));
    auto found = shapes_.find(signature);
    if (found != shapes_.end())
        return &found->second;

    Shape shape;
    shape.table = schemaTable(tableName);
    if (!shape.table) {
        failed(StoreFailure::Refused, QStringLiteral("No table %1").arg(tableName));
        return nullptr;
    }
    const TableDef& t = *shape.table;
    const QString quotedTable = quoteIdentifier(QString::fromUtf8(t.name));
    QStringList names, keyNames, keyTerms;
    for (const QString& column : row.columns()) {
        const ColumnDef* c = t.column(column);
        if (!c) {
            failed(StoreFailure::Refused, QStringLiteral("%1 has no column %2").arg(tableName, column));
            return nullptr;
        }
        shape.columns.push_back(c);
        names << quoteIdentifier(QString::fromUtf8(c->name));
    }
    for (const char* k : t.key) {
        const auto at = std::find(shape.columns.begin(), shape.columns.end(), t.column(QString::fromUtf8(k)));
        if (at == shape.columns.end()) {
            failed(StoreFailure::Refused,
                   QStringLiteral("%1 row without its key column %2").arg(tableName, QString::fromUtf8(k)));
            return nullptr;
        }
        shape.key.push_back(int(at - shape.columns.begin()));
        keyNames << quoteIdentifier(QString::fromUtf8(k));
        keyTerms << keyNames.back() + QLatin1String(" = ?");
    }
    // Only the columns the record carries are set on a row already there;
    // a record of key columns alone sets one to itself so that the
    // statement still hands the row back.
    QStringList sets;
    for (const QString& name : std::as_const(names))
        if (!keyNames.contains(name))
            sets << name + QLatin1String(" = excluded.") + name;
    if (sets.isEmpty())
        sets << keyNames.front() + QLatin1String(" = excluded.") + keyNames.front();
    // PostgreSQL tells an inserted row from an updated one by its xmax; on
    // SQLite the key is looked up first under the write lock. On a server the
    // unit's row is held (FOR SHARE) by the same statement that writes the
    // record, which then writes nothing when the unit is gone: one round trip.
    QString upsert;
    if (database_.isServer()) {
        QStringList casts;
        for (const ColumnDef* c : shape.columns)
            casts << QStringLiteral("CAST(? AS %1)").arg(QLatin1String(castType(*c)));
        upsert = QStringLiteral(
                     "WITH unit AS (SELECT 1 FROM \"Programacion\" WHERE \"LNumeroSerie\" = ? FOR SHARE) "
                     "INSERT INTO %1 (%2) SELECT %3 WHERE EXISTS (SELECT 1 FROM unit) "
                     "ON CONFLICT (%4) DO UPDATE SET %5 RETURNING ")
                     .arg(quotedTable, names.join(QLatin1String(", ")), casts.join(QLatin1String(", ")),
                          keyNames.join(QLatin1String(", ")), sets.join(QLatin1String(", ")));
    } else {
        upsert = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3) ON CONFLICT (%4) DO UPDATE SET %5 RETURNING ")
                     .arg(quotedTable, names.join(QLatin1String(", ")),
                          QStringList(names.size(), QStringLiteral("?")).join(QLatin1String(", ")),
                          keyNames.join(QLatin1String(", ")), sets.join(QLatin1String(", ")));
    }
    const QString added = database_.isServer() ? QStringLiteral(", (xmax = 0) AS tvq52_added") : QString();
    shape.upsert = upsert + QLatin1String("rowid") + added;
    shape.upsertReturningRow = upsert + QLatin1String("*") + added;
    shape.find =
        QStringLiteral("SELECT rowid FROM %1 WHERE %2").arg(quotedTable, keyTerms.join(QLatin1String(" AND ")));
    return &shapes_.emplace(signature, std::move(shape)).first->second;
}

Result<Stored> RecordStore::write(const QString& tableName, const Row& row)
{
    failure_ = StoreFailure::None;
    Stored stored = Stored::Added;
    // A unique-key violation can only mean that another PC stored the same
    // record between our look and our write: the next try finds it there.
    for (int tries = 0; tries < 3; ++tries) {
        switch (attempt(tableName, row, &stored)) {
        case Attempt::Done:
            return stored;
        case Attempt::Failed:
            return lastFailure();
        case Attempt::Retry:
            break;
        }
    }
    return lastFailure();
}

RecordStore::Attempt RecordStore::attempt(const QString& tableName, const Row& row, Stored* stored)
{
    Shape* const s = shape(tableName, row);
    if (!s)
        return Attempt::Failed;
    const SqlDialect dialect = database_.dialect();
    QVariantList values;
    values.reserve(row.values().size());
    for (std::size_t i = 0; i < s->columns.size(); ++i)
        values << toStorage(*s->columns[i], row.values()[qsizetype(i)], dialect);

    const bool server = database_.isServer();
    const bool journaled = journal_ && entry_ > 0;
    const qint32 serial = row.value(kSerial).toInt();
    // A record without a journal line is one statement on a server, atomic by itself.
    const bool transaction = journaled || !server;
    if (transaction && !begin())
        return Attempt::Failed;
    if (transaction && transactionOpen_)
        transactionOpen_();
    const auto abandon = [&] {
        if (transaction)
            rollback();
        return Attempt::Failed;
    };
    bool existed = false;
    if (!server) {
        if (!unitStillStored(serial))
            return abandon();
        QVariantList keyBinds;
        for (int k : s->key)
            keyBinds << values[k];
        QSqlQuery* find = statement(s->find, s->find);
        if (!run(find, keyBinds))
            return abandon();
        existed = find->next();
        find->finish();
    } else {
        values.prepend(serial);
    }

    const QString& sql = journaled ? s->upsertReturningRow : s->upsert;
    QSqlQuery* upsert = statement(sql, sql);
    if (!run(upsert, values)) {
        const bool present = statements_.lastSqlError().nativeErrorCode() == QLatin1String("23505");
        abandon();
        return present ? Attempt::Retry : Attempt::Failed;
    }
    if (!upsert->next()) {
        upsert->finish();
        if (server)
            failed(StoreFailure::UnitGone, QStringLiteral("No Programacion row for %1").arg(serial));
        else
            failed(StoreFailure::Refused, QStringLiteral("%1: the stored row did not come back").arg(tableName));
        return abandon();
    }
    const QSqlRecord record = upsert->record();
    if (database_.isServer())
        existed = !upsert->value(record.count() - 1).toBool();

    if (journaled) {
        // What the row holds now, older columns kept included.
        Row storedRow;
        for (int i = 0; i < record.count(); ++i)
            if (const ColumnDef* c = s->table->column(record.fieldName(i)))
                storedRow.set(QString::fromUtf8(c->name), fromStorage(*c, upsert->value(i)));
        upsert->finish();
        if (!journal_->addRecord(entry_, QString::fromUtf8(s->table->name), storedRow)) {
            failed(failureOf(journal_->lastSqlError()), journal_->lastError());
            return abandon();
        }
    } else {
        upsert->finish();
    }
    if (transaction && !transactionStep(QStringLiteral("COMMIT")))
        return abandon();
    *stored = existed ? Stored::Rewritten : Stored::Added;
    return Attempt::Done;
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

bool RecordStore::updateUnit(qint32 serial, const Row& values)
{
    failure_ = StoreFailure::None;
    const TableDef* table = schemaTable(QStringLiteral("Programacion"));
    QStringList sets;
    QVariantList binds;
    for (qsizetype i = 0; i < values.columns().size(); ++i) {
        const ColumnDef* c = table->column(values.columns()[i]);
        sets << quoteIdentifier(QString::fromUtf8(c->name)) + QLatin1String(" = ?");
        binds << toStorage(*c, values.values()[i], database_.dialect());
    }
    binds << serial;
    const QString sql =
        QStringLiteral("UPDATE \"Programacion\" SET %1 WHERE \"LNumeroSerie\" = ?").arg(sets.join(QLatin1String(", ")));
    QSqlQuery* query = statement(sql, sql);
    if (!run(query, binds))
        return false;
    if (query->numRowsAffected() == 0) {
        failed(StoreFailure::UnitGone, QStringLiteral("No Programacion row for %1").arg(serial));
        return false;
    }
    return true;
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
    if (!updateUnit(serial, values))
        return lastFailure();
    return {};
}

Status RecordStore::storeFirmware(qint32 serial, const QString& firmware)
{
    Row values;
    values.set(QStringLiteral("TVersion"), firmware.left(5));
    if (!updateUnit(serial, values))
        return lastFailure();
    return {};
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
    // Walks the key index backwards: one row read however many are stored.
    QSqlQuery query(database_.connection());
    query.setForwardOnly(true);
    const QString older = before ? QStringLiteral(
                              " AND (\"DFechaInicio\" < ? OR (\"DFechaInicio\" = ? AND "
                              "\"THoraInicio\" < ?))")
                                 : QString();
    query.prepare(QStringLiteral("SELECT \"DFechaInicio\", \"THoraInicio\" FROM \"%1\" WHERE "
                                 "\"LNumeroSerie\" = ?%2 ORDER BY \"DFechaInicio\" DESC, \"THoraInicio\" DESC LIMIT 1")
                      .arg(table, older));
    query.addBindValue(serial);
    if (before) {
        const QString date = before->date().toString(Qt::ISODate);
        query.addBindValue(date);
        query.addBindValue(date);
        query.addBindValue(before->time().toString(QStringLiteral("hh:mm")));
    }
    if (!query.exec()) {
        lastError_ = query.lastError().text();
        return std::nullopt;
    }
    if (!query.next())
        return std::nullopt;
    const QDateTime at = storedStamp(query.value(0), query.value(1));
    if (!at.isValid())
        return std::nullopt;
    return at;
}

namespace {

// A "dd/mm/yyyy" text orders as "yyyymmdd".
bool isDayMonthYearText(const QString& field)
{
    return field.startsWith(QLatin1String("TFecha"), Qt::CaseInsensitive);
}

QString orderTerm(const QString& field, bool descending)
{
    const QString q = quoteIdentifier(field);
    const QString expr = isDayMonthYearText(field)
        ? QStringLiteral("(SUBSTR(%1, 7, 4) || SUBSTR(%1, 4, 2) || SUBSTR(%1, 1, 2))").arg(q)
        : q;
    return expr + (descending ? QLatin1String(" DESC") : QLatin1String(" ASC"));
}

} // namespace

Result<std::vector<qint64>> RecordStore::rowIds(RecordKind kind, qint32 serial, const QStringList& keys,
                                                bool descending) const
{
    const QString tableName = recordTable(kind);
    const TableDef* table = schemaTable(tableName);
    QStringList terms;
    for (const QString& key : keys) {
        // Only schema columns reach the query text.
        if (!table || !table->column(key))
            return storeError(StoreFailure::Refused, QStringLiteral("%1 has no column %2").arg(tableName, key));
        terms << orderTerm(key, descending);
    }
    // The start is the table's key; other orders keep ties in a fixed order.
    if (keys != QStringList{QStringLiteral("DFechaInicio"), QStringLiteral("THoraInicio")})
        terms << (descending ? QStringLiteral("rowid DESC") : QStringLiteral("rowid ASC"));
    QSqlQuery q(database_.connection());
    q.setForwardOnly(true);
    bool ok =
        q.prepare(QStringLiteral("SELECT rowid FROM %1 WHERE %2 = ? ORDER BY %3")
                      .arg(quoteIdentifier(tableName), quoteIdentifier(kSerial), terms.join(QLatin1String(", "))));
    if (ok) {
        q.addBindValue(serial);
        ok = q.exec();
    }
    std::vector<qint64> ids;
    while (ok && q.next())
        ids.push_back(q.value(0).toLongLong());
    if (!ok)
        return storeError(failureOf(q.lastError()), q.lastError().text());
    return ids;
}

Result<std::vector<QVector<QVariant>>> RecordStore::rowsById(RecordKind kind, const QStringList& columns,
                                                             const std::vector<qint64>& ids) const
{
    const QString tableName = recordTable(kind);
    const TableDef* table = schemaTable(tableName);
    QStringList fields;
    for (const QString& c : columns) {
        if (!table || !table->column(c))
            return storeError(StoreFailure::Refused, QStringLiteral("%1 has no column %2").arg(tableName, c));
        fields << quoteIdentifier(c);
    }
    std::vector<QVector<QVariant>> rows(ids.size());
    if (ids.empty())
        return rows;
    QSqlQuery q(database_.connection());
    q.setForwardOnly(true);
    const QString marks = QStringList(qsizetype(ids.size()), QStringLiteral("?")).join(QLatin1Char(','));
    if (!q.prepare(QStringLiteral("SELECT rowid, %1 FROM %2 WHERE rowid IN (%3)")
                       .arg(fields.join(QLatin1String(", ")), quoteIdentifier(tableName), marks)))
        return storeError(failureOf(q.lastError()), q.lastError().text());
    QHash<qint64, std::size_t> slot;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        q.addBindValue(ids[i]);
        slot.insert(ids[i], i);
    }
    if (!q.exec())
        return storeError(failureOf(q.lastError()), q.lastError().text());
    while (q.next()) {
        const auto at = slot.constFind(q.value(0).toLongLong());
        if (at == slot.constEnd())
            continue;
        QVector<QVariant>& values = rows[*at];
        values.reserve(columns.size());
        for (qsizetype c = 0; c < columns.size(); ++c)
            values << q.value(int(c) + 1);
    }
    return rows;
}

DownloadRange proposedRange(const RecordStore& store, qint32 serial, const QDateTime& now)
{
    // Lists come newest first, so a download that did not complete stored
    // its newest records and left a gap behind them; starting at the newest
    // stored interval would leave that gap unread for good. Such a unit's
    // proposal starts before the oldest interval those downloads stored.
    const std::optional<QDateTime> before = Journal(store.database()).oldestIntervalSinceLastCompletedDownload(serial);
    const std::optional<QDateTime> from = store.newestIntervalStart(serial, before);
    return DownloadRange::from(from ? *from : now.addDays(-60), now);
}

QDateTime sessionListStart(const QDateTime& intervalStart, const std::optional<QDateTime>& newestSession)
{
    QDateTime start = intervalStart.addDays(-1);
    if (newestSession && *newestSession < start)
        start = *newestSession;
    // A day back from the first day a request can name stays on that day.
    const QDateTime first = wallClock(QDate(kFirstRequestYear, 1, 1), QTime(0, 0));
    return start < first ? first : start;
}

DownloadRange sessionRange(const RecordStore& store, qint32 serial, const DownloadRange& range)
{
    return DownloadRange::from(sessionListStart(range.start(), store.newestSessionStart(serial)), range.end());
}

} // namespace tvq52
