#include "db/server_row_sink.h"

#include "db/database.h"
#include "db/journal.h"

#include <QSet>
#include <QSqlError>
#include <QStringList>
#include <algorithm>

namespace tvq52 {

namespace {

QString quotedColumns(const SinkTable& t, bool keysOnly)
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

// Inserts the batch's rows whose key is missing and names the keys added.
QByteArray insertStatement(const SinkTable& t)
{
    QStringList arrays;
    for (const ColumnDef* c : t.columns)
        arrays << QStringLiteral("$%1::%2[]").arg(arrays.size() + 1).arg(serverCast(*c));
    const QString columns = quotedColumns(t, false);
    return QStringLiteral(
               "INSERT INTO %1 (%2) SELECT %2 FROM unnest(%3) AS v (%2) ON CONFLICT (%4) DO NOTHING "
               "RETURNING %4")
        .arg(quoteIdentifier(QString::fromUtf8(t.table->name)), columns, arrays.join(QLatin1Char(',')),
             quotedColumns(t, true))
        .toUtf8();
}

// The stored rows of the given keys: the keys, then every column.
QByteArray storedStatement(const SinkTable& t)
{
    QStringList arrays, match, stored;
    for (int k : t.keyIndex) {
        const ColumnDef* c = t.columns[size_t(k)];
        arrays << QStringLiteral("$%1::%2[]").arg(arrays.size() + 1).arg(serverCast(*c));
        const QString q = quoteIdentifier(QString::fromUtf8(c->name));
        match << QStringLiteral("t.%1 = v.%1").arg(q);
        stored << QStringLiteral("t.") + q;
    }
    for (const ColumnDef* c : t.columns)
        stored << QStringLiteral("t.") + quoteIdentifier(QString::fromUtf8(c->name));
    return QStringLiteral("SELECT %1 FROM unnest(%2) AS v (%3) JOIN %4 t ON %5")
        .arg(stored.join(QLatin1Char(',')), arrays.join(QLatin1Char(',')), quotedColumns(t, true),
             quoteIdentifier(QString::fromUtf8(t.table->name)), match.join(QLatin1String(" AND ")))
        .toUtf8();
}

QByteArray statementName(const char* use, const SinkTable& t)
{
    return QByteArray(use) + QByteArray(t.table->name).toLower();
}

} // namespace

ServerRowSink::ServerRowSink(Database& database, int batchRows)
    : database_(database), db_(database.connection()), bulk_(db_), batchRows_(std::max(1, std::min(batchRows, 2000)))
{}

bool ServerRowSink::prepare(const std::vector<SinkTable>& tables, Journal&, qint64 entry)
{
    entry_ = entry;
    tables_ = tables;
    counts_.assign(tables.size(), SinkCounts());
    for (const SinkTable& t : tables) {
        const QString name = QString::fromUtf8(t.table->name);
        const Result<qint64> last = Journal::lastRow(db_, name);
        lastRows_[name] = last.ok() ? *last : -1;
    }
    return true;
}

Status ServerRowSink::listAdded()
{
    for (const auto& [table, after] : lastRows_)
        if (after >= 0)
            if (Status listed = Journal::addRowsAfter(db_, entry_, table, after); !listed)
                return listed;
    return Status();
}

void ServerRowSink::fail(const DatabaseFailure& why, qint64 line)
{
    if (!failure_.failed())
        failure_ = why;
    if (failedLine_ == 0)
        failedLine_ = line;
}

void ServerRowSink::add(size_t table, qint64 line, const QVariantList& values)
{
    if (failure_.failed())
        return;
    if (!pending_.empty() && section_ != table)
        flush();
    section_ = table;
    pending_.push_back(Pending{line, values});
    if (int(pending_.size()) >= batchRows_)
        flush();
}

void ServerRowSink::finish(qint64)
{
    flush();
    collect();
    // The next use of the connection opens a new one.
    if (failure_.kind == DatabaseFailure::Kind::ConnectionLost)
        database_.noteFailure(QSqlError(QString(), failure_.detail, QSqlError::ConnectionError));
}

QByteArray ServerRowSink::keyText(size_t table, const QVariantList& values) const
{
    const SinkTable& t = tables_[table];
    QByteArray key;
    for (int k : t.keyIndex)
        key += serverText(*t.columns[size_t(k)], values[k]) + '\x1f';
    return key;
}

// Counts one row against what its key holds; a row gone meanwhile (taken
// by another PC) counts as present.
void ServerRowSink::countAgainst(size_t table, const QVariantList& values, const QVariantList* stored)
{
    const bool same = !stored || sameStoredRow(tables_[table], *stored, values);
    ++(same ? counts_[table].present : counts_[table].differs);
}

// Sends what is pending as one batch after counting the batch sent before.
void ServerRowSink::flush()
{
    if (pending_.empty())
        return;
    collect();
    if (failure_.failed()) {
        pending_.clear();
        return;
    }
    sent_.table = section_;
    sent_.rows = std::move(pending_);
    pending_.clear();
    // The first row of a key in the batch goes to the server; later ones
    // are compared with whatever that key ends up holding.
    QSet<QByteArray> seen;
    sent_.first.clear();
    sent_.later.clear();
    for (const Pending& p : sent_.rows) {
        const QByteArray key = keyText(section_, p.values);
        (seen.contains(key) ? sent_.later : sent_.first).push_back(&p.values);
        seen.insert(key);
    }
    QString error;
    if (!send(section_, sent_.first, &error)) {
        fail(serverFailure(QByteArray(), error, bulk_.connectionUp()), sent_.rows.front().line);
        return;
    }
    sent_.active = true;
}

// Sends `rows` (keys unique among them); false when they could not be sent at all.
bool ServerRowSink::send(size_t table, const RowRefs& rows, QString* error)
{
    const SinkTable& t = tables_[table];
    std::vector<ServerArray> arrays(t.columns.size());
    for (const QVariantList* values : rows)
        for (size_t c = 0; c < t.columns.size(); ++c)
            arrays[c].append(serverText(*t.columns[c], (*values)[qsizetype(c)]));
    std::vector<QByteArray> params;
    for (ServerArray& a : arrays)
        params.push_back(a.finish());
    const QByteArray name = statementName("tvq52_import_", t);
    if (const Status prepared = bulk_.ensurePrepared(name, insertStatement(t), int(params.size())); !prepared) {
        *error = prepared.error().detail;
        return false;
    }
    if (bulk_.sendPrepared(name, params))
        return true;
    *error = bulk_.connectionError();
    return false;
}

// Waits for the batch in flight and counts it.
void ServerRowSink::collect()
{
    if (!sent_.active)
        return;
    sent_.active = false;
    const size_t table = sent_.table;
    holds_.clear();
    const ServerBulk::Answer r = bulk_.receive();
    if (!r.ok() && isServerRowError(r.sqlState(), r.connectionUp())) {
        // Nothing of the batch was written; row by row finds the culprit.
        for (const Pending& p : sent_.rows)
            writeOne(table, p);
        return;
    }
    // Anything else is the server's own failure: no row is to blame,
    // and the next batch would fail the same way.
    if (!complete(table, sent_.first, r, !sent_.later.empty())) {
        fail(failure_.failed() ? failure_ : serverFailure(r.sqlState(), r.error(), r.connectionUp()),
             sent_.rows.front().line);
        return;
    }
    for (const QVariantList* values : sent_.later) {
        const auto it = holds_.constFind(keyText(table, *values));
        countAgainst(table, *values, it == holds_.constEnd() ? nullptr : &*it);
    }
}

// Counts a sent batch by the keys its insert names.
bool ServerRowSink::complete(size_t table, const RowRefs& rows, const ServerBulk::Answer& r, bool needHolds)
{
    if (!r.ok())
        return false;
    counts_[table].added += r.rows();
    added_ += r.rows();
    if (r.rows() == int(rows.size()) && !needHolds)
        return true; // every row added, and no later row of the batch to compare
    const SinkTable& t = tables_[table];
    QSet<QByteArray> inserted;
    for (int row = 0; row < r.rows(); ++row) {
        QByteArray key;
        for (size_t k = 0; k < t.keyIndex.size(); ++k)
            key += QByteArray(r.text(row, int(k))) + '\x1f';
        inserted.insert(key);
    }
    RowRefs present;
    for (const QVariantList* values : rows) {
        if (inserted.contains(keyText(table, *values)))
            holds_.insert(keyText(table, *values), *values);
        else
            present.push_back(values);
    }
    if (present.empty())
        return true;
    if (!readHolds(table, present))
        return false;
    for (const QVariantList* values : present) {
        const auto it = holds_.constFind(keyText(table, *values));
        countAgainst(table, *values, it == holds_.constEnd() ? nullptr : &*it);
    }
    return true;
}

// Whatever the keys that were there hold, to compare with.
bool ServerRowSink::readHolds(size_t table, const RowRefs& present)
{
    const SinkTable& t = tables_[table];
    std::vector<ServerArray> keys(t.keyIndex.size());
    for (const QVariantList* values : present)
        for (size_t k = 0; k < t.keyIndex.size(); ++k)
            keys[k].append(serverText(*t.columns[size_t(t.keyIndex[k])], (*values)[t.keyIndex[k]]));
    std::vector<QByteArray> params;
    for (ServerArray& a : keys)
        params.push_back(a.finish());
    const ServerBulk::Answer s = bulk_.execNamed(statementName("tvq52_stored_", t), storedStatement(t), params);
    if (!s.ok()) {
        // The batch is stored and counted; what was there cannot be told.
        failure_ = serverFailure(s.sqlState(), s.error(), s.connectionUp());
        return false;
    }
    const int keyCount = int(t.keyIndex.size());
    for (int row = 0; row < s.rows(); ++row) {
        QByteArray key;
        QVariantList stored;
        for (int k = 0; k < keyCount; ++k)
            key += QByteArray(s.text(row, k)) + '\x1f';
        for (size_t c = 0; c < t.columns.size(); ++c) {
            const int at = keyCount + int(c);
            stored << (s.isNull(row, at) ? QVariant() : fromServerText(*t.columns[c], s.text(row, at)));
        }
        holds_.insert(key, stored);
    }
    return true;
}

void ServerRowSink::writeOne(size_t table, const Pending& p)
{
    if (failure_.failed())
        return;
    holds_.clear();
    QString error;
    if (!send(table, {&p.values}, &error)) {
        fail(serverFailure(QByteArray(), error, bulk_.connectionUp()), p.line);
        return;
    }
    const ServerBulk::Answer r = bulk_.receive();
    if (complete(table, {&p.values}, r, false))
        return;
    if (!isServerRowError(r.sqlState(), r.connectionUp())) {
        fail(failure_.failed() ? failure_ : serverFailure(r.sqlState(), r.error(), r.connectionUp()), p.line);
        return;
    }
    if (onRefused)
        onRefused(table, p.line, r.error());
}

} // namespace tvq52
