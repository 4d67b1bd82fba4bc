#include "db/server_row_sink.h"

#include "core/own_words.h"
#include "db/database.h"
#include "db/fleet_tables.h"
#include "db/journal_tables.h"
#include "db/server_writes.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <algorithm>
#include <utility>

namespace tvq52 {

namespace {

constexpr size_t kCopyPiece = 64 * 1024;
// While the batch before is stored, the server is asked every so many rows
// whether it is done, so that that batch is committed soon after.
constexpr int kPollRows = 32;
// Room for a staged batch of the widest table in a session's own buffers.
const QByteArray kTempBuffers = QByteArrayLiteral("32MB");

QString quotedServerColumns(const SinkTable& t, bool keysOnly)
{
    QStringList names;
    if (keysOnly)
        for (int k : t.keyIndex)
            names << quoteIdentifier(QString::fromUtf8(t.columns[size_t(k)]->name));
    else
        for (const ColumnDef* c : t.columns)
            names << quoteIdentifier(QString::fromUtf8(c->name));
    return names.join(QLatin1Char(','));
}

// The stored row of the given key, every column.
QByteArray storedRowStatement(const SinkTable& t)
{
    QStringList match;
    for (int k : t.keyIndex) {
        const ColumnDef* c = t.columns[size_t(k)];
        match << QStringLiteral("%1 = $%2::%3")
                     .arg(quoteIdentifier(QString::fromUtf8(c->name)))
                     .arg(match.size() + 1)
                     .arg(serverCast(*c));
    }
    return QStringLiteral("SELECT %1 FROM %2 WHERE %3")
        .arg(quotedServerColumns(t, false), quoteIdentifier(QString::fromUtf8(t.table->name)),
             match.join(QLatin1String(" AND ")))
        .toUtf8();
}

QByteArray serverStatementName(const char* use, const SinkTable& t)
{
    return QByteArray(use) + QByteArray(t.table->name).toLower();
}

} // namespace

ServerRowSink::ServerRowSink(Database& database, int batchRows)
    : RowSink(true),
      database_(database),
      bulk_(database.connection()),
      statements_(database),
      batchRows_(std::max(1, batchRows))
{}

Status ServerRowSink::prepare(const std::vector<SinkTable>& tables, qint64 entry)
{
    entry_ = entry;
    session_ = flightSession_ = 0;
    side_.reset();
    sideTried_ = false;
    // Room for a staged batch of the widest table.
    bulk_.sizeTempBuffers(kTempBuffers);
    counts_.assign(tables.size(), SinkCounts());
    tables_.clear();
    for (const SinkTable& def : tables) {
        Table& t = tables_.emplace_back();
        t.def = def;
        t.name = QByteArray(def.table->name);
        t.digest = std::make_unique<RowDigest>(def);
        t.copy = std::make_unique<ServerCopyTable>(def);
    }
    return {};
}

// A table's staging table is made when a batch of it first needs one: each
// commit empties every such table of the session, a cost the batches that
// go straight in need not pay for tables never staged.
bool ServerRowSink::ensureStage(Table& t, qint64 line, size_t session)
{
    if (t.staged[session])
        return true;
    ServerBulk& bulk = on(session);
    ServerBulk::Answer made = bulk.exec(t.copy->createStage(), {});
    // One left by an import whose end was never reached on this connection.
    if (!made.ok() && made.sqlState() == "42P07" && bulk.exec(t.copy->dropStage(), {}).ok())
        made = bulk.exec(t.copy->createStage(), {});
    if (made.ok())
        made = bulk.exec(grantStageStatement(t.copy->stageName()), {});
    if (!made.ok()) {
        fail(serverFailure(made.sqlState(), made.error(), made.connectionUp()), line);
        return false;
    }
    t.staged[session] = true;
    return true;
}

void ServerRowSink::fail(const DatabaseFailure& why, qint64 line)
{
    if (!failure_.failed())
        failure_ = why;
    if (failedLine_ == 0)
        failedLine_ = line;
}

void ServerRowSink::rollback(size_t session)
{
    on(session).exec("ROLLBACK", {});
}

bool ServerRowSink::rowError(const ServerBulk::Answer& r) const
{
    return isServerRowError(r.sqlState(), r.connectionUp());
}

void ServerRowSink::addRow(size_t table, qint64 line, const SinkRow& row)
{
    if (failure_.failed())
        return;
    if (copying_ && batchTable_ != table)
        flush();
    if (failure_.failed())
        return;
    if (!copying_)
        startBatch(table);
    if (!take(table, line, row)) {
        // A value of another kind than its column's: the server says what it makes of it.
        flush();
        writeOne(table, line, row, session_);
        return;
    }
    // Small pieces: the server starts on a batch while its first rows are
    // made. While it still works on the batch before, they wait here.
    if (out_.size() >= pollAt_ || (inFlight_ && !streaming_ && ++sincePoll_ >= kPollRows)) {
        sincePoll_ = 0;
        if ((streaming_ || !inFlight_ || flightSession_ != session_ || !on(flightSession_).busy()) && stream(line))
            sendCopyData(false);
        pollAt_ = streaming_ ? kCopyPiece : out_.size() + kCopyPiece;
    }
    // Through the staging table a batch costs more than its rows (the table
    // is emptied at each commit): fewer, larger ones, still within the
    // session's memory for temporary tables.
    if (batchSize_ >= size_t(batchRows_) * (batchDirect_ ? 1 : 2))
        flush();
}

bool ServerRowSink::startCopy(const QByteArray& sql, qint64 line, bool begin, size_t session)
{
    ServerBulk& bulk = on(session);
    const ServerBulk::Answer begun = begin ? bulk.exec("BEGIN", {}) : ServerBulk::Answer::done();
    const Status copying = begun.ok() ? bulk.startCopy(sql) : Status();
    if (!begun.ok() || !copying) {
        fail(begun.ok() ? serverFailure(QByteArray(), copying.error().detail, bulk.connectionUp())
                        : serverFailure(begun.sqlState(), begun.error(), begun.connectionUp()),
             line);
        rollback(session);
        return false;
    }
    return true;
}

void ServerRowSink::startBatch(size_t table)
{
    copying_ = true;
    streaming_ = false;
    batchDirect_ = direct_;
    batchTable_ = table;
    batchSize_ = 0;
    keys_.reset(size_t(batchRows_));
    packs_.clear();
    out_ = ServerCopyTable::header();
    pollAt_ = kCopyPiece;
}

bool ServerRowSink::stream(qint64 line)
{
    if (streaming_)
        return true;
    // On one session the batch before is stored first.
    if (flightSession_ == session_)
        settle();
    if (failure_.failed())
        return false;
    Table& t = tables_[batchTable_];
    if (!ensureStage(t, line, session_) || !startCopy(t.copy->copyStatement(), line, true, session_))
        return false;
    streaming_ = true;
    return true;
}

// Keeps the row in the batch and makes what the COPY takes of it.
bool ServerRowSink::take(size_t table, qint64 line, const SinkRow& row)
{
    Table& t = tables_[table];
    // Each value's kind and bytes, a text's after its size: no two keys alike.
    keyBytes_.clear();
    for (int k : t.def.keyIndex) {
        const SinkValue& v = row[size_t(k)];
        keyBytes_.push_back(char(v.kind));
        if (v.kind == SinkValue::Kind::Text) {
            keyBytes_.append(reinterpret_cast<const char*>(&v.size), sizeof v.size);
            keyBytes_.append(row.text(size_t(k)));
        } else if (v.kind != SinkValue::Kind::Null) {
            keyBytes_.append(reinterpret_cast<const char*>(&v.integer), sizeof v.integer);
        }
    }
    // The first row of a key in the batch is the one inserted; later ones
    // are compared with what the key then holds.
    const auto [firstRow, first] = keys_.find(keyBytes_, qint64(batchSize_));
    if (!encode(t, line, first, row, out_, packs_)) {
        keys_.forgetLast();
        return false;
    }
    if (batch_.size() <= batchSize_)
        batch_.emplace_back();
    Pending& p = batch_[batchSize_++];
    p.line = line;
    p.row = row;
    p.first = first ? -1 : firstRow;
    return true;
}

// Only a key's first row can be added: it alone carries what the journal lists.
bool ServerRowSink::encode(const Table& t, qint64 line, bool first, const SinkRow& row, std::string& out,
                           packed_lines::LineNumbers& packs)
{
    std::string_view key;
    const unsigned char* digest = nullptr;
    qint32 pack = 0;
    if (first && t.digest->listed()) {
        t.digest->computeRaw(row, &key, &digest);
        pack = packs.next(key);
    }
    return t.copy->encodeStaged(line, first, key, digest, pack, row, out);
}

// Sends what is made of the COPY data; a broken connection shows when the COPY ends.
bool ServerRowSink::sendCopyData(bool all)
{
    if (all)
        out_ += ServerCopyTable::trailer();
    const bool sent = on(session_).putCopyData(QByteArrayView(out_.data(), qsizetype(out_.size())));
    out_.clear();
    return sent;
}

bool ServerRowSink::endCopy(bool* storedKey)
{
    sendCopyData(true);
    const ServerBulk::Answer copied = on(session_).endCopy();
    if (copied.ok())
        return true;
    rollback(session_);
    *storedKey = *storedKey && copied.sqlState() == "23505";
    if (*storedKey)
        return false;
    if (rowError(copied))
        rowByRow(batch_, batchTable_, batchSize_, session_);
    else
        fail(serverFailure(copied.sqlState(), copied.error(), copied.connectionUp()), batch_.front().line);
    return false;
}

void ServerRowSink::flush()
{
    if (!copying_)
        return;
    copying_ = false;
    if (batchSize_ == 0 || !stream(batch_.empty() ? 0 : batch_.front().line)) {
        if (streaming_) { // nothing in it
            sendCopyData(true);
            on(session_).endCopy();
            rollback(session_);
        }
        streaming_ = false;
        batchSize_ = 0;
        return;
    }
    streaming_ = false;
    send();
    batchSize_ = 0;
}

// Rows of a batch that went straight in and differ from the batch's first
// row of their key.
qint64 ServerRowSink::laterRowsThatDiffer(const std::vector<Pending>& rows, size_t table, size_t count) const
{
    qint64 differs = 0;
    for (size_t i = 0; i < count; ++i) {
        const Pending& p = rows[i];
        if (p.first >= 0 && !sameSinkRow(tables_[table].def, rows[size_t(p.first)].row, p.row))
            ++differs;
    }
    return differs;
}

std::vector<QByteArray> ServerRowSink::storeParams(const Table& t, bool skipStored) const
{
    return {QByteArray::number(entry_), t.name, t.copy->stageName(), skipStored ? "t" : "f"};
}

// The store's answer: the rows added, those that differ, and the lines
// written, kept until the commit. False (rolled back, the failure told or
// the rows written one by one) when the server refused the store.
bool ServerRowSink::takeAnswer(const ServerBulk::Answer& stored, const std::vector<Pending>& rows, size_t table,
                               size_t count, qint64* added, qint64* differs, size_t session)
{
    const qint64 firstLine = rows.front().line;
    if (!stored.ok()) {
        rollback(session);
        if (rowError(stored))
            rowByRow(rows, table, count, session);
        else
            fail(serverFailure(stored.sqlState(), stored.error(), stored.connectionUp()), firstLine);
        return false;
    }
    batchLines_.clear();
    std::vector<std::pair<qint64, packed_lines::Line>> lines;
    qint64 listed = 0;
    for (int r = 0; r < stored.rows(); ++r) {
        if (stored.isNull(r, 0)) {
            *added = QByteArray(stored.text(r, 1)).toLongLong();
            *differs = QByteArray(stored.text(r, 2)).toLongLong();
            continue;
        }
        packed_lines::Line l;
        l.records = QByteArray(stored.text(r, 1)).toInt();
        l.table = stored.text(r, 3);
        l.firstKey = stored.text(r, 4);
        l.lastKey = stored.text(r, 5);
        l.digest = stored.text(r, 6);
        listed += l.records;
        lines.emplace_back(QByteArray(stored.text(r, 0)).toLongLong(), std::move(l));
    }
    if (tables_[table].digest->listed() && listed != *added) {
        rollback(session);
        fail(DatabaseFailure{DatabaseFailure::Kind::Other, QStringLiteral("The rows added were not all named")},
             firstLine);
        return false;
    }
    // In the order the server stored them, as a verify reads them.
    std::sort(lines.begin(), lines.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& [id, l] : lines)
        batchLines_.push_back(std::move(l));
    return true;
}

void ServerRowSink::commit(size_t table, qint64 line, size_t rows, qint64 added, qint64 differs, size_t session)
{
    const ServerBulk::Answer committed = on(session).exec("COMMIT", {});
    if (!committed.ok()) {
        fail(serverFailure(committed.sqlState(), committed.error(), committed.connectionUp()), line);
        batchLines_.clear();
        return;
    }
    keepLines();
    batchLines_.clear();
    SinkCounts& c = counts_[table];
    c.added += added;
    added_ += added;
    c.differs += differs;
    c.present += qint64(rows) - added - differs;
}

// The lines of a committed batch.
void ServerRowSink::keepLines()
{
    for (const packed_lines::Line& l : batchLines_)
        lines_.add(packed_lines::lineText(l.table, l.firstKey, l.lastKey, l.digest));
}

// Rows again, into the staging table, in a new transaction: their own
// COPY data and line numbers, while those of the open batch wait.
bool ServerRowSink::restage(const std::vector<Pending>& rows, size_t table, size_t count, size_t session)
{
    Table& t = tables_[table];
    ServerBulk& bulk = on(session);
    if (!ensureStage(t, rows.front().line, session)
        || !startCopy(t.copy->copyStatement(), rows.front().line, true, session))
        return false;
    std::string out = ServerCopyTable::header();
    packed_lines::LineNumbers packs;
    bool encoded = true;
    for (size_t i = 0; i < count && encoded; ++i) {
        const Pending& p = rows[i];
        encoded = encode(t, p.line, p.first < 0, p.row, out, packs);
        if (out.size() >= kCopyPiece) {
            bulk.putCopyData(QByteArrayView(out.data(), qsizetype(out.size())));
            out.clear();
        }
    }
    out += ServerCopyTable::trailer();
    bulk.putCopyData(QByteArrayView(out.data(), qsizetype(out.size())));
    const ServerBulk::Answer copied = bulk.endCopy();
    if (encoded && copied.ok())
        return true;
    rollback(session);
    if (!encoded || rowError(copied))
        rowByRow(rows, table, count, session);
    else
        fail(serverFailure(copied.sqlState(), copied.error(), copied.connectionUp()), rows.front().line);
    return false;
}

// Ends the batch's COPY and sends the statement that stores it, once the
// batch before is committed; the server runs it while the next batch is
// read, and settle() takes its answer.
void ServerRowSink::send()
{
    bool storedKey = false;
    if (!endCopy(&storedKey))
        return;
    settle();
    if (failure_.failed()) {
        rollback(session_);
        return;
    }
    // The batch before may have met a stored key: this one is compared too.
    const bool direct = batchDirect_;
    const Table& t = tables_[batchTable_];
    ServerBulk& bulk = on(session_);
    const QByteArray name = serverStatementName(direct ? "tvq52_store_" : "tvq52_stage_insert_", t.def);
    const QByteArray& sql = direct ? t.copy->storeStatement() : t.copy->insertStatement();
    if (!bulk.ensurePrepared(name, sql, 4) || !bulk.sendPrepared(name, storeParams(t, !direct))) {
        rollback(session_);
        fail(serverFailure(QByteArray(), bulk.connectionError(), bulk.connectionUp()), batch_.front().line);
        return;
    }
    std::swap(batch_, flight_);
    flightSize_ = batchSize_;
    flightTable_ = batchTable_;
    flightDirect_ = direct;
    flightSession_ = session_;
    inFlight_ = true;
    // A full batch: more are likely to follow, copied on a second session
    // while this one is stored. Without it, one session does both in turn.
    if (!sideTried_ && batchSize_ >= size_t(batchRows_)) {
        sideTried_ = true;
        side_ = bulk_.sibling(serverSessionSettings());
        if (side_)
            side_->sizeTempBuffers(kTempBuffers);
    }
    if (side_)
        session_ = 1 - session_;
}

void ServerRowSink::settle()
{
    if (!inFlight_)
        return;
    inFlight_ = false;
    const size_t session = flightSession_;
    ServerBulk::Answer stored = on(session).receive();
    // A key the table holds: the batch again with the comparison, and the
    // next ones too, the one being read included.
    if (flightDirect_ && !stored.ok() && stored.sqlState() == "23505") {
        rollback(session);
        direct_ = false;
        batchDirect_ = false;
        flightDirect_ = false;
        if (!restage(flight_, flightTable_, flightSize_, session))
            return;
        const Table& t = tables_[flightTable_];
        stored = on(session).execNamed(serverStatementName("tvq52_stage_insert_", t.def), t.copy->insertStatement(),
                                       storeParams(t, true));
    }
    qint64 added = 0, differs = 0;
    if (!takeAnswer(stored, flight_, flightTable_, flightSize_, &added, &differs, session))
        return;
    if (flightDirect_)
        differs += laterRowsThatDiffer(flight_, flightTable_, flightSize_);
    commit(flightTable_, flight_.front().line, flightSize_, added, differs, session);
    // Back to the quicker way once a batch brings only keys the table lacked.
    if (!flightDirect_)
        direct_ = !failure_.failed() && added == qint64(flightSize_);
}

void ServerRowSink::rowByRow(const std::vector<Pending>& rows, size_t table, size_t count, size_t session)
{
    for (size_t i = 0; i < count && !failure_.failed(); ++i)
        writeOne(table, rows[i].line, rows[i].row, session);
}

// On a session with no transaction open.
void ServerRowSink::writeOne(size_t table, qint64 line, const SinkRow& row, size_t session)
{
    settle();
    const Table& t = tables_[table];
    ServerBulk& bulk = on(session);
    // Made outside the row's transaction, which may go back.
    if (failure_.failed() || !ensureStage(tables_[table], line, session))
        return;
    const ServerBulk::Answer begun = bulk.exec("BEGIN", {});
    if (!begun.ok()) {
        fail(serverFailure(begun.sqlState(), begun.error(), begun.connectionUp()), line);
        return;
    }
    std::vector<QByteArray> params(2);
    if (t.digest->listed()) {
        t.digest->compute(row, &key_, &digest_);
        params = {key_, digest_};
    }
    for (size_t c = 0; c < t.def.columns.size(); ++c) {
        ServerArray one;
        one.append(serverText(*t.def.columns[c], row.variant(c)));
        params.push_back(one.finish());
    }
    ServerBulk::Answer stored = bulk.execNamed(serverStatementName("tvq52_stage_one_", t.def),
                                               ServerCopyTable::stageRowStatement(t.def, t.copy->stageName()), params);
    if (stored.ok())
        stored = bulk.execNamed(serverStatementName("tvq52_store_", t.def), t.copy->storeStatement(),
                                storeParams(t, true));
    qint64 added = 0, differs = 0;
    if (!stored.ok()) {
        rollback(session);
        if (rowError(stored) && onRefused)
            onRefused(table, line, stored.error());
        else if (!rowError(stored))
            fail(serverFailure(stored.sqlState(), stored.error(), stored.connectionUp()), line);
        return;
    }
    if (!takeAnswer(stored, {Pending{line, row, -1}}, table, 1, &added, &differs, session))
        return;
    const std::optional<bool> same =
        added == 1 ? std::optional<bool>(true) : sameAsStored(t, line, row, session);
    if (!same) {
        rollback(session);
        return;
    }
    commit(table, line, 1, added, *same ? 0 : 1, session);
}

std::optional<bool> ServerRowSink::sameAsStored(const Table& t, qint64 line, const SinkRow& row, size_t session)
{
    std::vector<QByteArray> keys;
    for (int k : t.def.keyIndex)
        keys.push_back(serverText(*t.def.columns[size_t(k)], row.variant(size_t(k))));
    const ServerBulk::Answer s =
        on(session).execNamed(serverStatementName("tvq52_import_stored_", t.def), storedRowStatement(t.def), keys);
    if (!s.ok()) {
        fail(serverFailure(s.sqlState(), s.error(), s.connectionUp()), line);
        return std::nullopt;
    }
    if (s.rows() == 0)
        return true;
    for (size_t c = 0; c < t.def.columns.size(); ++c) {
        const ColumnDef& column = *t.def.columns[c];
        const QVariant stored = s.isNull(0, int(c)) ? QVariant() : fromServerText(column, s.text(0, int(c)));
        if (!sameStoredValue(column, stored, row.variant(c)))
            return false;
    }
    return true;
}

void ServerRowSink::finish(qint64)
{
    flush();
    settle();
    for (size_t session = 0; session < (side_ ? 2 : 1); ++session)
        for (Table& t : tables_)
            if (std::exchange(t.staged[session], false) && on(session).connectionUp() && !copying_)
                on(session).exec(t.copy->dropStage(), {});
    side_.reset();
    session_ = flightSession_ = 0;
    // The next use of the connection opens a new one.
    if (failure_.kind == DatabaseFailure::Kind::ConnectionLost)
        database_.noteFailure(QSqlError(QString(), failure_.detail, QSqlError::ConnectionError));
}

Error ServerRowSink::lastFailure(const Error& failed) const
{
    return databaseError(failureOf(statements_.lastSqlError()), untranslatedText(failed));
}

Result<QSqlQuery*> ServerRowSink::run(const QString& sql, const QVariantList& binds)
{
    const Result<QSqlQuery*> query = statements_.get(sql, sql);
    if (!query)
        return lastFailure(query.error());
    if (const Status done = statements_.run(**query, binds); !done)
        return lastFailure(done.error());
    return *query;
}

Status ServerRowSink::execute(const QString& sql)
{
    if (const Status done = statements_.execute(sql); !done)
        return lastFailure(done.error());
    return {};
}

ServerRowSink::Shape ServerRowSink::makeShape(RecordShape shape)
{
    Shape s;
    static_cast<RecordShape&>(s) = std::move(shape);
    s.put = QStringLiteral("SELECT (p.stored).*, p.added AS tvq52_added FROM tvq52_collect_put(CAST(? "
                           "AS INTEGER), CAST(? AS JSONB), NULL::%1) p WHERE p.added IS NOT NULL")
                .arg(s.quotedTable);
    return s;
}

Result<KeyedWrite> ServerRowSink::put(qint32 serial, const QString& table, const Row& row, bool marksNight,
                                           const Listing& list)
{
    Result<Shape*> s = shapes_.get(table, row, makeShape);
    if (!s)
        return s.error();
    const QVariantList values = (*s)->storageValues(row, database_.dialect());
    // The server takes its row locks as the statements run.
    const bool transaction = bool(list) || marksNight;
    if (transaction) {
        if (Status begun = execute(QStringLiteral("BEGIN")); !begun)
            return begun.error();
        transactionOpened();
    }
    Result<KeyedWrite> done = written(**s, values, serial, marksNight, list, transaction);
    // Whatever it says, the failure that led here is the one to tell.
    if (transaction && (!done || done->raced))
        (void)statements_.execute(QStringLiteral("ROLLBACK"));
    return done;
}

Result<KeyedWrite> ServerRowSink::written(const Shape& s, const QVariantList& values, qint32 serial,
                                               bool marksNight, const Listing& list, bool transaction)
{
    const Result<QSqlQuery*> put = run(s.put, {serial, serverRecordJson(s.columns, values)});
    if (!put) {
        // A unique key taken meanwhile can only be another PC's same record.
        if (statements_.lastSqlError().nativeErrorCode() == QLatin1String("23505"))
            return KeyedWrite{Stored::Added, put.error()};
        return put.error();
    }
    QSqlQuery& upsert = **put;
    if (!upsert.next()) {
        upsert.finish();
        return unitGone(serial);
    }
    const QSqlRecord returned = upsert.record();
    const bool existed = !upsert.value(returned.count() - 1).toBool();
    if (list) {
        // What the row holds now, older columns kept included.
        Row storedRow;
        for (int i = 0; i < returned.count(); ++i)
            if (const ColumnDef* c = s.table->column(returned.fieldName(i)))
                storedRow.append(QString::fromUtf8(c->name), fromStorage(*c, upsert.value(i)));
        upsert.finish();
        if (Status listed = list(QString::fromUtf8(s.table->name), storedRow); !listed)
            return listed.error();
    } else {
        upsert.finish();
    }
    if (marksNight)
        if (const Result<QSqlQuery*> marked = run(markIntervalNightSql(database_.dialect()), s.keyValues(values));
            !marked)
            return marked.error();
    if (transaction)
        if (Status committed = execute(QStringLiteral("COMMIT")); !committed)
            return committed.error();
    return KeyedWrite{existed ? Stored::Rewritten : Stored::Added, std::nullopt};
}

Status ServerRowSink::updateUnit(qint32 serial, const Row& values)
{
    // The program's function writes the readings.
    const TableDef* table = schemaTable(QStringLiteral("Programacion"));
    std::vector<const ColumnDef*> columns;
    QVariantList stored;
    for (qsizetype i = 0; i < values.columns().size(); ++i) {
        columns.push_back(table->column(values.columns()[i]));
        stored << toStorage(*columns.back(), values.values()[i], database_.dialect());
    }
    const Result<QSqlQuery*> update =
        run(QStringLiteral("SELECT tvq52_collect_unit_update(CAST(? AS INTEGER), CAST(? AS JSONB))"),
            {serial, serverRecordJson(columns, stored)});
    if (!update)
        return update.error();
    const int changed = (*update)->next() ? (*update)->value(0).toInt() : 0;
    (*update)->finish();
    if (changed == 0)
        return unitGone(serial);
    return {};
}

} // namespace tvq52
