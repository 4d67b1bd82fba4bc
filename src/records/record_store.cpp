#include "records/record_store.h"

#include "core/own_words.h"
#include "db/database.h"
#include "db/database_failure.h"
#include "db/fleet_tables.h"
#include "db/server_writes.h"
#include "evidence/journal.h"

#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>

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

RecordStore::RecordStore(Database& database) : database_(database), statements_(database) {}

void RecordStore::setJournalEntry(Journal* journal, qint64 entry)
{
    journal_ = journal;
    entry_ = entry;
}

void RecordStore::failed(DatabaseFailure::Kind why, const QString& text)
{
    failure_ = why;
    lastError_ = text;
}

DatabaseFailure::Kind RecordStore::failureOf(const QSqlError& error) const
{
    const auto kind = databaseFailure(error, database_.isServer()).kind;
    return kind == DatabaseFailure::Kind::None ? DatabaseFailure::Kind::Other : kind;
}

QSqlQuery* RecordStore::statement(const QString& key, const QString& sql)
{
    const Result<QSqlQuery*> query = statements_.get(sql, key);
    if (!query) {
        failed(failureOf(statements_.lastSqlError()), untranslatedText(query.error()));
        return nullptr;
    }
    return *query;
}

bool RecordStore::run(QSqlQuery* query, const QVariantList& binds)
{
    if (!query)
        return false;
    const Status done = statements_.run(*query, binds);
    if (!done)
        failed(failureOf(statements_.lastSqlError()), untranslatedText(done.error()));
    return done.ok();
}

bool RecordStore::begin()
{
    // A server takes its row locks as the statements run.
    return transactionStep(QStringLiteral("BEGIN"));
}

bool RecordStore::transactionStep(const QString& sql)
{
    const Status done = statements_.execute(sql);
    if (!done)
        failed(failureOf(statements_.lastSqlError()), untranslatedText(done.error()));
    return done.ok();
}

void RecordStore::rollback()
{
    // Whatever it says, the failure that led here is the one to tell.
    const QString error = lastError_;
    const DatabaseFailure::Kind why = failure_;
    (void)statements_.execute(QStringLiteral("ROLLBACK"));
    failed(why, error);
}

QVariantList RecordStore::keyValues(const Shape& s, const QVariantList& values)
{
    QVariantList key;
    for (int k : s.key)
        key << values[k];
    return key;
}

RecordStore::Shape* RecordStore::shape(const QString& tableName, const Row& row)
{
    // A download writes rows of one shape over and over.
    if (lastShape_ && lastShape_->tableName == tableName && lastShape_->names == row.columns())
        return lastShape_;
    // The rows of one table differ only in which columns they carry.
    const QString signature = tableName + QLatin1Char('|') + row.columns().join(QLatin1Char('|'));
    auto found = shapes_.find(signature);
    if (found != shapes_.end())
        return lastShape_ = &found->second;

    Shape shape;
    shape.tableName = tableName;
    shape.names = row.columns();
    shape.table = schemaTable(tableName);
    if (!shape.table) {
        failed(DatabaseFailure::Kind::Other, QStringLiteral("No table %1").arg(tableName));
        return nullptr;
    }
    const TableDef& t = *shape.table;
    const QString quotedTable = quoteIdentifier(QString::fromUtf8(t.name));
    QStringList names, keyNames, keyTerms;
    for (const QString& column : row.columns()) {
        const ColumnDef* c = t.column(column);
        if (!c) {
            failed(DatabaseFailure::Kind::Other, QStringLiteral("%1 has no column %2").arg(tableName, column));
            return nullptr;
        }
        shape.columns.push_back(c);
        names << quoteIdentifier(QString::fromUtf8(c->name));
    }
    for (const char* k : t.key) {
        const auto at = std::find(shape.columns.begin(), shape.columns.end(), t.column(QString::fromUtf8(k)));
        if (at == shape.columns.end()) {
            failed(DatabaseFailure::Kind::Other,
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
    // On SQLite the key is looked up first under the write lock. On a server
    // the program's function writes the record, holding the unit's row
    // (FOR SHARE) while it does, and tells an inserted row from an updated
    // one; it writes nothing when the unit is gone: one round trip.
    if (database_.isServer()) {
        const QString put = QStringLiteral("SELECT (p.stored).*, p.added AS tvq52_added FROM tvq52_collect_put(CAST(? "
                                           "AS INTEGER), CAST(? AS JSONB), NULL::%1) p WHERE p.added IS NOT NULL")
                                .arg(quotedTable);
        shape.upsert = put;
        shape.upsertReturningRow = put;
    } else {
        const QString upsert =
            QStringLiteral("INSERT INTO %1 (%2) VALUES (%3) ON CONFLICT (%4) DO UPDATE SET %5 RETURNING ")
                .arg(quotedTable, names.join(QLatin1String(", ")),
                     QStringList(names.size(), QStringLiteral("?")).join(QLatin1String(", ")),
                     keyNames.join(QLatin1String(", ")), sets.join(QLatin1String(", ")));
        shape.upsert = upsert + QLatin1String("rowid");
        shape.upsertReturningRow = upsert + QLatin1String("*");
    }
    shape.find =
        QStringLiteral("SELECT rowid FROM %1 WHERE %2").arg(quotedTable, keyTerms.join(QLatin1String(" AND ")));
    return lastShape_ = &shapes_.emplace(signature, std::move(shape)).first->second;
}

Result<Stored> RecordStore::write(const QString& tableName, const Row& row)
{
    failure_ = DatabaseFailure::Kind::None;
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
    values.reserve(row.values().size() + 1);
    for (std::size_t i = 0; i < s->columns.size(); ++i)
        values << toStorage(*s->columns[i], row.values()[qsizetype(i)], dialect);
    const qint32 serial = row.value(kSerial).toInt();
    const bool marksNight = passesLimit(tableName, row);
    if (!database_.isServer())
        return attemptOnFile(*s, values, serial, marksNight, stored);

    const bool journaled = journal_ && entry_ > 0;
    // A record without a journal line or a night to mark is one statement,
    // atomic by itself.
    const bool transaction = journaled || marksNight;
    if (transaction && !begin())
        return Attempt::Failed;
    if (transaction && transactionOpen_)
        transactionOpen_();
    const auto abandon = [&] {
        if (transaction)
            rollback();
        return Attempt::Failed;
    };
    const QVariantList key = keyValues(*s, values);
    const QString& sql = journaled ? s->upsertReturningRow : s->upsert;
    QSqlQuery* upsert = statement(sql, sql);
    if (!run(upsert, {serial, serverRecordJson(s->columns, values)})) {
        const bool present = statements_.lastSqlError().nativeErrorCode() == QLatin1String("23505");
        abandon();
        return present ? Attempt::Retry : Attempt::Failed;
    }
    if (!upsert->next()) {
        upsert->finish();
        failed(DatabaseFailure::Kind::UnitGone, QStringLiteral("No Programacion row for %1").arg(serial));
        return abandon();
    }
    const QSqlRecord returned = upsert->record();
    const bool existed = !upsert->value(returned.count() - 1).toBool();
    if (journaled) {
        // What the row holds now, older columns kept included.
        Row storedRow;
        for (int i = 0; i < returned.count(); ++i)
            if (const ColumnDef* c = s->table->column(returned.fieldName(i)))
                storedRow.append(QString::fromUtf8(c->name), fromStorage(*c, upsert->value(i)));
        upsert->finish();
        if (const Status listed = journal_->addRecord(entry_, QString::fromUtf8(s->table->name), storedRow); !listed) {
            failed(failureOf(journal_->lastSqlError()), untranslatedText(listed.error()));
            return abandon();
        }
    } else {
        upsert->finish();
    }
    if (marksNight) {
        const QString night = markIntervalNightSql(database_.dialect());
        if (!run(statement(night, night), key))
            return abandon();
    }
    if (transaction && !transactionStep(QStringLiteral("COMMIT")))
        return abandon();
    *stored = existed ? Stored::Rewritten : Stored::Added;
    return Attempt::Done;
}

// A database file is written straight through SQLite: the unit waits for
// the commit before its ACK, and QSqlQuery spends more on binding a record's
// values and reading its row back than SQLite spends storing it.
RecordStore::Attempt RecordStore::attemptOnFile(Shape& s, const QVariantList& values, qint32 serial, bool marksNight,
                                                Stored* stored)
{
    if (!prepareFile(s) || !fileRun(file_.begin))
        return Attempt::Failed;
    if (transactionOpen_)
        transactionOpen_();
    bool existed = false;
    if (!fileUnitStored(serial) || !fileFound(s, values, &existed) || !fileWritten(s, values)
        || (marksNight && !fileMarkedNight(s, values)) || !fileRun(file_.commit)) {
        // Whatever it says, the failure that led here is the one to tell.
        const QString error = lastError_;
        const DatabaseFailure::Kind why = failure_;
        fileRun(file_.rollback);
        failed(why, error);
        return Attempt::Failed;
    }
    *stored = existed ? Stored::Rewritten : Stored::Added;
    return Attempt::Done;
}

void RecordStore::fileFailed(const SqliteStep& step)
{
    const auto kind = step.databaseFailure().kind;
    failed(kind == DatabaseFailure::Kind::None ? DatabaseFailure::Kind::Other : kind, step.message);
}

bool RecordStore::prepared(SqliteStatement& statement, const QString& sql)
{
    if (statement.prepared())
        return true;
    const SqliteStep step = statement.prepare(file_.connection, sql);
    if (step.failed())
        fileFailed(step);
    return !step.failed();
}

bool RecordStore::prepareFile(Shape& s)
{
    sqlite3* connection = sqliteHandle(database_.connection());
    if (connection != file_.connection) {
        // Prepared on a connection that has since been replaced.
        file_ = FileStatements{};
        for (auto& [signature, other] : shapes_) {
            other.fileFind = SqliteStatement();
            other.fileUpsert = SqliteStatement();
            other.fileUpsertReturningRow = SqliteStatement();
        }
        file_.connection = connection;
    }
    const bool journaled = journal_ && entry_ > 0;
    // The write lock is taken at once: a reader turned writer could
    // otherwise meet another program's commit and fail without waiting.
    if (!prepared(file_.begin, QStringLiteral("BEGIN IMMEDIATE")) || !prepared(file_.commit, QStringLiteral("COMMIT"))
        || !prepared(file_.rollback, QStringLiteral("ROLLBACK"))
        || !prepared(file_.unit, QStringLiteral("SELECT 1 FROM \"Programacion\" WHERE \"LNumeroSerie\" = ?"))
        || !prepared(s.fileFind, s.find))
        return false;
    if (!journaled)
        return prepared(s.fileUpsert, s.upsert);
    if (s.fileUpsertReturningRow.prepared())
        return true;
    if (!prepared(s.fileUpsertReturningRow, s.upsertReturningRow))
        return false;
    s.returned.clear();
    for (int i = 0; i < s.fileUpsertReturningRow.columnCount(); ++i)
        s.returned.push_back(s.table->column(s.fileUpsertReturningRow.columnName(i)));
    return true;
}

bool RecordStore::fileRun(SqliteStatement& statement)
{
    const SqliteStep step = statement.step();
    statement.reset();
    if (step.failed())
        fileFailed(step);
    return !step.failed();
}

bool RecordStore::fileUnitStored(qint32 serial)
{
    // Under the write lock a deletion elsewhere has either happened or waits
    // for this record's commit.
    file_.unit.bind(0, serial);
    const SqliteStep step = file_.unit.step();
    file_.unit.reset();
    if (step.failed())
        fileFailed(step);
    else if (!step.row())
        failed(DatabaseFailure::Kind::UnitGone, QStringLiteral("No Programacion row for %1").arg(serial));
    return step.row();
}

bool RecordStore::fileFound(Shape& s, const QVariantList& values, bool* existed)
{
    for (std::size_t k = 0; k < s.key.size(); ++k)
        s.fileFind.bind(int(k), values[s.key[k]]);
    const SqliteStep step = s.fileFind.step();
    s.fileFind.reset();
    if (step.failed())
        fileFailed(step);
    *existed = step.row();
    return !step.failed();
}

bool RecordStore::fileWritten(Shape& s, const QVariantList& values)
{
    const bool journaled = journal_ && entry_ > 0;
    SqliteStatement& upsert = journaled ? s.fileUpsertReturningRow : s.fileUpsert;
    for (qsizetype i = 0; i < values.size(); ++i)
        upsert.bind(int(i), values[i]);
    const SqliteStep step = upsert.step();
    if (!step.row()) {
        upsert.reset();
        if (step.failed())
            fileFailed(step);
        else
            failed(DatabaseFailure::Kind::Other,
                   QStringLiteral("%1: the stored row did not come back").arg(QString::fromUtf8(s.table->name)));
        return false;
    }
    if (!journaled) {
        upsert.reset();
        return true;
    }
    // What the row holds now, older columns kept included.
    Row storedRow;
    for (std::size_t i = 0; i < s.returned.size(); ++i)
        if (const ColumnDef* c = s.returned[i])
            storedRow.append(QString::fromUtf8(c->name), fromStorage(*c, upsert.column(int(i))));
    upsert.reset();
    if (const Status listed = journal_->addRecord(entry_, QString::fromUtf8(s.table->name), storedRow); !listed) {
        failed(failureOf(journal_->lastSqlError()), untranslatedText(listed.error()));
        return false;
    }
    return true;
}

bool RecordStore::fileMarkedNight(const Shape& s, const QVariantList& values)
{
    if (!prepared(file_.night, markIntervalNightSql(SqlDialect::SQLite)))
        return false;
    const QVariantList key = keyValues(s, values);
    for (qsizetype k = 0; k < key.size(); ++k)
        file_.night.bind(int(k), key[k]);
    return fileRun(file_.night);
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
    failure_ = DatabaseFailure::Kind::None;
    const TableDef* table = schemaTable(QStringLiteral("Programacion"));
    QStringList sets;
    QVariantList binds;
    std::vector<const ColumnDef*> columns;
    for (qsizetype i = 0; i < values.columns().size(); ++i) {
        const ColumnDef* c = table->column(values.columns()[i]);
        columns.push_back(c);
        sets << quoteIdentifier(QString::fromUtf8(c->name)) + QLatin1String(" = ?");
        binds << toStorage(*c, values.values()[i], database_.dialect());
    }
    // On a server the program's function writes the readings.
    const bool server = database_.isServer();
    if (server)
        binds = {serial, serverRecordJson(columns, binds)};
    else
        binds << serial;
    const QString sql = server ? QStringLiteral("SELECT tvq52_collect_unit_update(CAST(? AS INTEGER), CAST(? AS JSONB))")
                               : QStringLiteral("UPDATE \"Programacion\" SET %1 WHERE \"LNumeroSerie\" = ?")
                                     .arg(sets.join(QLatin1String(", ")));
    QSqlQuery* query = statement(sql, sql);
    if (!run(query, binds))
        return false;
    const int changed = server ? (query->next() ? query->value(0).toInt() : 0) : query->numRowsAffected();
    if (server)
        query->finish();
    if (changed == 0) {
        failed(DatabaseFailure::Kind::UnitGone, QStringLiteral("No Programacion row for %1").arg(serial));
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
            return databaseError(DatabaseFailure::Kind::Other, QStringLiteral("%1 has no column %2").arg(tableName, key));
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
        return databaseError(failureOf(q.lastError()), q.lastError().text());
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
            return databaseError(DatabaseFailure::Kind::Other, QStringLiteral("%1 has no column %2").arg(tableName, c));
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
        return databaseError(failureOf(q.lastError()), q.lastError().text());
    QHash<qint64, std::size_t> slot;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        q.addBindValue(ids[i]);
        slot.insert(ids[i], i);
    }
    if (!q.exec())
        return databaseError(failureOf(q.lastError()), q.lastError().text());
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
