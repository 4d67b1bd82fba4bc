#include "db/server_row_sink.h"

#include "db/database.h"
#include "db/journal_tables.h"

#include <QSqlError>
#include <QStringList>
#include <algorithm>
#include <utility>

namespace tvq52 {

namespace {

constexpr size_t kCopyPiece = 64 * 1024;

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

// Inserts the given rows (one array per column) whose key is missing and names the keys added.
QByteArray arrayInsertStatement(const SinkTable& t)
{
    QStringList arrays;
    for (const ColumnDef* c : t.columns)
        arrays << QStringLiteral("$%1::%2[]").arg(arrays.size() + 1).arg(serverCast(*c));
    const QString columns = quotedServerColumns(t, false);
    return QStringLiteral(
               "INSERT INTO %1 (%2) SELECT %2 FROM unnest(%3) AS v (%2) ON CONFLICT (%4) DO NOTHING "
               "RETURNING %4")
        .arg(quoteIdentifier(QString::fromUtf8(t.table->name)), columns, arrays.join(QLatin1Char(',')),
             quotedServerColumns(t, true))
        .toUtf8();
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
    : database_(database), db_(database.connection()), bulk_(db_), batchRows_(std::max(1, batchRows))
{}

bool ServerRowSink::prepare(const std::vector<SinkTable>& tables, qint64 entry)
{
    entry_ = entry;
    counts_.assign(tables.size(), SinkCounts());
    tables_.clear();
    for (const SinkTable& def : tables) {
        Table& t = tables_.emplace_back();
        t.def = def;
        t.name = QByteArray(def.table->name);
        t.digest = std::make_unique<RowDigest>(def);
        t.copy = std::make_unique<ServerCopyTable>(def, t.digest->listed());
    }
    return true;
}

// A table's staging table is made when a batch of it first needs one: each
// commit empties every such table of the session, a cost the batches that
// go straight in need not pay for tables never staged.
bool ServerRowSink::ensureStage(Table& t, qint64 line)
{
    if (t.staged)
        return true;
    ServerBulk::Answer made = bulk_.exec(t.copy->createStage(), {});
    // One left by an import whose end was never reached on this connection.
    if (!made.ok() && made.sqlState() == "42P07" && bulk_.exec(t.copy->dropStage(), {}).ok())
        made = bulk_.exec(t.copy->createStage(), {});
    if (!made.ok()) {
        fail(serverFailure(made.sqlState(), made.error(), made.connectionUp()), line);
        return false;
    }
    t.staged = true;
    return true;
}

void ServerRowSink::fail(const DatabaseFailure& why, qint64 line)
{
    if (!failure_.failed())
        failure_ = why;
    if (failedLine_ == 0)
        failedLine_ = line;
}

void ServerRowSink::rollback()
{
    bulk_.exec("ROLLBACK", {});
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
        writeOne(table, line, row);
        return;
    }
    // Small pieces: the server starts on a batch while its first rows are
    // made. While it still works on the batch before, they wait here.
    if (out_.size() >= pollAt_) {
        if ((streaming_ || !inFlight_ || !bulk_.busy()) && stream(line))
            put(false);
        pollAt_ = streaming_ ? kCopyPiece : out_.size() + kCopyPiece;
    }
    // Through the staging table a batch costs more than its rows (the table
    // is emptied at each commit): fewer, larger ones, still within the
    // server's default memory for temporary tables.
    if (batchSize_ >= size_t(batchRows_) * (batchDirect_ ? 1 : 2))
        flush();
}

bool ServerRowSink::startCopy(const QByteArray& sql, qint64 line, bool begin)
{
    const ServerBulk::Answer begun = begin ? bulk_.exec("BEGIN", {}) : ServerBulk::Answer::done();
    const Status copying = begun.ok() ? bulk_.startCopy(sql) : Status();
    if (!begun.ok() || !copying) {
        fail(begun.ok() ? serverFailure(QByteArray(), copying.error().detail, bulk_.connectionUp())
                        : serverFailure(begun.sqlState(), begun.error(), begun.connectionUp()),
             line);
        rollback();
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
    // The keys of a batch live as long as it does: they come from one pool, emptied at once.
    keys_.reset();
    keyPool_.release();
    keys_.emplace(&keyPool_);
    keys_->reserve(size_t(batchRows_));
    packer_.clear();
    out_ = ServerCopyTable::header();
    pollAt_ = kCopyPiece;
}

bool ServerRowSink::stream(qint64 line)
{
    if (streaming_)
        return true;
    settle();
    if (failure_.failed())
        return false;
    Table& t = tables_[batchTable_];
    if ((!batchDirect_ && !ensureStage(t, line))
        || !startCopy(batchDirect_ ? t.copy->directCopyStatement() : t.copy->copyStatement(), line, true))
        return false;
    streaming_ = true;
    return true;
}

// Keeps the row in the batch and makes what the COPY takes of it.
bool ServerRowSink::take(size_t table, qint64 line, const SinkRow& row)
{
    Table& t = tables_[table];
    keyBytes_.clear();
    for (int k : t.def.keyIndex) {
        const SinkValue& v = row[size_t(k)];
        keyBytes_.push_back(char(v.kind));
        if (v.kind == SinkValue::Kind::Text)
            keyBytes_.append(row.text(size_t(k)));
        else
            keyBytes_.append(reinterpret_cast<const char*>(&v.integer), sizeof v.integer);
        keyBytes_.push_back('\x1f');
    }
    // The first row of a key in the batch is the one inserted; later ones
    // are compared with what the key then holds.
    const auto [at, first] = keys_->try_emplace(std::pmr::string(keyBytes_, &keyPool_), qint64(batchSize_));
    bool encoded = false;
    if (!batchDirect_) {
        encoded = t.copy->encodeStaged(line, first, row, out_);
    } else if (first) {
        encoded = t.copy->encode(row, out_);
    } else {
        spare_.clear(); // not sent, but it may have to go through the staging table
        encoded = t.copy->encode(row, spare_);
    }
    if (!encoded) {
        if (first)
            keys_->erase(at);
        return false;
    }
    if (batch_.size() <= batchSize_)
        batch_.emplace_back();
    Pending& p = batch_[batchSize_++];
    p.line = line;
    p.row = row;
    p.first = first ? -1 : at->second;
    // Straight into the table, the rows added are the first of their keys:
    // listed while the server stores them.
    if (batchDirect_ && first && t.digest->listed())
        pack(t, row);
    return true;
}

void ServerRowSink::pack(const Table& t, const SinkRow& row)
{
    std::string_view key;
    const unsigned char* digest = nullptr;
    t.digest->computeRaw(row, &key, &digest);
    packer_.add(std::string_view(t.name.constData(), size_t(t.name.size())), key, digest);
}

// Sends what is made of the COPY data; a broken connection shows when the COPY ends.
bool ServerRowSink::put(bool all)
{
    if (all)
        out_ += ServerCopyTable::trailer();
    const bool sent = bulk_.putCopyData(QByteArrayView(out_.data(), qsizetype(out_.size())));
    out_.clear();
    return sent;
}

bool ServerRowSink::endCopy(bool* storedKey)
{
    put(true);
    const ServerBulk::Answer copied = bulk_.endCopy();
    if (copied.ok())
        return true;
    rollback();
    *storedKey = *storedKey && copied.sqlState() == "23505";
    if (*storedKey)
        return false;
    if (rowError(copied))
        rowByRow(batch_, batchTable_, batchSize_);
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
            put(true);
            bulk_.endCopy();
            rollback();
        }
        streaming_ = false;
        batchSize_ = 0;
        return;
    }
    streaming_ = false;
    if (batchDirect_)
        storeDirect();
    else
        sendStaged();
    batchSize_ = 0;
}

void ServerRowSink::storeDirect()
{
    bool storedKey = true;
    if (!endCopy(&storedKey)) {
        // A key the table holds: this batch and the next through the staging table.
        if (storedKey) {
            direct_ = false;
            packer_.clear();
            if (restage())
                sendStaged();
        }
        return;
    }
    const Table& t = tables_[batchTable_];
    qint64 added = 0, differs = 0;
    for (size_t i = 0; i < batchSize_; ++i) {
        const Pending& p = batch_[i];
        if (p.first < 0)
            ++added;
        else if (!sameSinkRow(t.def, batch_[size_t(p.first)].row, p.row))
            ++differs;
    }
    if (t.digest->listed() && !writeLines(batch_, batchTable_, batchSize_))
        return;
    commit(batchTable_, batch_.front().line, batchSize_, added, differs);
}

void ServerRowSink::commit(size_t table, qint64 line, size_t rows, qint64 added, qint64 differs)
{
    const ServerBulk::Answer committed = bulk_.exec("COMMIT", {});
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

bool ServerRowSink::writeLines(const std::vector<Pending>& rows, size_t table, size_t count)
{
    const qint64 line = rows.front().line;
    batchLines_ = packer_.take(true);
    if (batchLines_.empty())
        return true;
    if (!entryOpen(line) || !startCopy(ServerCopyTable::packedLinesCopyStatement(), line, false))
        return false;
    std::string lines = ServerCopyTable::header();
    for (const packed_lines::Line& l : batchLines_)
        ServerCopyTable::encodePackedLine(entry_, l, lines);
    lines += ServerCopyTable::trailer();
    const bool sent = bulk_.putCopyData(QByteArrayView(lines.data(), qsizetype(lines.size())));
    const ServerBulk::Answer copied = bulk_.endCopy();
    if (sent && copied.ok())
        return true;
    rollback();
    if (sent && rowError(copied))
        rowByRow(rows, table, count);
    else
        fail(serverFailure(copied.sqlState(), copied.error(), copied.connectionUp()), line);
    return false;
}

// The lines of a committed batch.
void ServerRowSink::keepLines()
{
    for (const packed_lines::Line& l : batchLines_)
        lines_.add(packed_lines::lineText(l.table, l.firstKey, l.lastKey, l.digest));
}

// The batch again, into the staging table.
bool ServerRowSink::restage()
{
    Table& t = tables_[batchTable_];
    if (!ensureStage(t, batch_.front().line) || !startCopy(t.copy->copyStatement(), batch_.front().line, true))
        return false;
    out_ = ServerCopyTable::header();
    for (size_t i = 0; i < batchSize_; ++i) {
        const Pending& p = batch_[i];
        if (!t.copy->encodeStaged(p.line, p.first < 0, p.row, out_)) {
            put(true);
            bulk_.endCopy();
            rollback();
            rowByRow(batch_, batchTable_, batchSize_);
            return false;
        }
        if (out_.size() >= kCopyPiece)
            put(false);
    }
    return true;
}

// Rows are listed only in an entry still open; it stays so until the commit.
bool ServerRowSink::entryOpen(qint64 line)
{
    const ServerBulk::Answer open = bulk_.exec(ServerCopyTable::entryOpenStatement(), {QByteArray::number(entry_)});
    if (open.ok() && open.rows() == 1)
        return true;
    rollback();
    fail(open.ok() ? DatabaseFailure{DatabaseFailure::Kind::Other,
                                     QStringLiteral("Journal entry %1 is not open").arg(entry_)}
                   : serverFailure(open.sqlState(), open.error(), open.connectionUp()),
         line);
    return false;
}

// Ends the staged batch's COPY and sends the statement that stores it; the
// server runs it while the next batch is read, and settle() takes its answer.
void ServerRowSink::sendStaged()
{
    bool storedKey = false;
    if (!endCopy(&storedKey))
        return;
    const Table& t = tables_[batchTable_];
    const QByteArray name = serverStatementName("tvq52_stage_insert_", t.def);
    if (!bulk_.ensurePrepared(name, t.copy->insertStatement(), 0) || !bulk_.sendPrepared(name, {})) {
        rollback();
        fail(serverFailure(QByteArray(), bulk_.connectionError(), bulk_.connectionUp()), batch_.front().line);
        return;
    }
    std::swap(batch_, flight_);
    flightSize_ = batchSize_;
    flightTable_ = batchTable_;
    inFlight_ = true;
}

void ServerRowSink::settle()
{
    if (!inFlight_)
        return;
    inFlight_ = false;
    const ServerBulk::Answer stored = bulk_.receive();
    const Table& t = tables_[flightTable_];
    const qint64 firstLine = flight_.front().line;
    if (!stored.ok()) {
        rollback();
        if (rowError(stored))
            rowByRow(flight_, flightTable_, flightSize_);
        else
            fail(serverFailure(stored.sqlState(), stored.error(), stored.connectionUp()), firstLine);
        return;
    }
    qint64 added = 0, differs = 0;
    std::vector<qint64> lines; // of the rows added
    for (int r = 0; r < stored.rows(); ++r) {
        const qint64 line = QByteArray(stored.text(r, 0)).toLongLong();
        if (line >= 0) {
            lines.push_back(line);
            continue;
        }
        added = QByteArray(stored.text(r, 1)).toLongLong();
        differs = QByteArray(stored.text(r, 2)).toLongLong();
    }
    if (t.digest->listed() && qint64(lines.size()) != added) {
        rollback();
        fail(DatabaseFailure{DatabaseFailure::Kind::Other, QStringLiteral("The rows added were not all named")},
             firstLine);
        return;
    }
    // Listed in the order the file gave them.
    std::sort(lines.begin(), lines.end());
    packer_.clear();
    for (size_t i = 0; i < flightSize_ && !lines.empty(); ++i)
        if (flight_[i].first < 0 && std::binary_search(lines.begin(), lines.end(), flight_[i].line))
            pack(t, flight_[i].row);
    if (t.digest->listed() && !writeLines(flight_, flightTable_, flightSize_))
        return;
    commit(flightTable_, firstLine, flightSize_, added, differs);
    // Back to the quicker way once a batch brings only keys the table lacked.
    direct_ = !failure_.failed() && added == qint64(flightSize_);
}

void ServerRowSink::rowByRow(const std::vector<Pending>& rows, size_t table, size_t count)
{
    for (size_t i = 0; i < count && !failure_.failed(); ++i)
        writeOne(table, rows[i].line, rows[i].row);
}

void ServerRowSink::writeOne(size_t table, qint64 line, const SinkRow& row)
{
    settle();
    const Table& t = tables_[table];
    const ServerBulk::Answer begun = failure_.failed() ? ServerBulk::Answer() : bulk_.exec("BEGIN", {});
    if (!begun.ok()) {
        fail(serverFailure(begun.sqlState(), begun.error(), begun.connectionUp()), line);
        return;
    }
    std::vector<QByteArray> params;
    for (size_t c = 0; c < t.def.columns.size(); ++c) {
        ServerArray one;
        one.append(serverText(*t.def.columns[c], row.variant(c)));
        params.push_back(one.finish());
    }
    const ServerBulk::Answer inserted =
        bulk_.execNamed(serverStatementName("tvq52_import_", t.def), arrayInsertStatement(t.def), params);
    std::optional<bool> same = true;
    ServerBulk::Answer listed = inserted;
    if (inserted.ok() && inserted.rows() == 1 && !t.digest->listed()) {
        listed = ServerBulk::Answer::done();
    } else if (inserted.ok() && inserted.rows() == 1) {
        t.digest->compute(row, &key_, &digest_);
        listed = bulk_.exec(ServerCopyTable::listStatement(), {QByteArray::number(entry_), t.name, key_, digest_});
    } else if (inserted.ok()) {
        same = sameAsStored(t, line, row);
    }
    const bool done =
        listed.ok() && same && (inserted.rows() == 0 || !t.digest->listed() || listed.affected() == 1);
    const ServerBulk::Answer committed = done ? bulk_.exec("COMMIT", {}) : ServerBulk::Answer();
    if (committed.ok()) {
        SinkCounts& c = counts_[table];
        ++(inserted.rows() == 1 ? c.added : *same ? c.present : c.differs);
        added_ += inserted.rows();
        // A one-record line.
        if (inserted.rows() == 1 && t.digest->listed())
            lines_.add(t.name + '\x1f' + key_ + '\x1f' + digest_ + '\x1e');
        return;
    }
    rollback();
    if (!inserted.ok() && rowError(inserted)) {
        if (onRefused)
            onRefused(table, line, inserted.error());
    } else if (listed.ok() && same && done) {
        fail(serverFailure(committed.sqlState(), committed.error(), committed.connectionUp()), line);
    } else if (listed.ok() && same) {
        fail(DatabaseFailure{DatabaseFailure::Kind::Other, QStringLiteral("Journal entry %1 is not open").arg(entry_)},
             line);
    } else if (!listed.ok()) {
        fail(serverFailure(listed.sqlState(), listed.error(), listed.connectionUp()), line);
    }
}

std::optional<bool> ServerRowSink::sameAsStored(const Table& t, qint64 line, const SinkRow& row)
{
    std::vector<QByteArray> keys;
    for (int k : t.def.keyIndex)
        keys.push_back(serverText(*t.def.columns[size_t(k)], row.variant(size_t(k))));
    const ServerBulk::Answer s =
        bulk_.execNamed(serverStatementName("tvq52_import_stored_", t.def), storedRowStatement(t.def), keys);
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
    if (bulk_.connectionUp() && !copying_)
        for (Table& t : tables_)
            if (std::exchange(t.staged, false))
                bulk_.exec(t.copy->dropStage(), {});
    // The next use of the connection opens a new one.
    if (failure_.kind == DatabaseFailure::Kind::ConnectionLost)
        database_.noteFailure(QSqlError(QString(), failure_.detail, QSqlError::ConnectionError));
}

} // namespace tvq52
