#include "db/server_merge.h"

#include "db/database.h"
#include "db/merge_tables.h"
#include "db/server_row_sink.h"

#include "db/fleet_tables.h"
#include "db/journal_codec.h"
#include "db/merge_functions.h"
#include "db/server_bulk.h"
#include "db/server_copy.h"
#include "db/server_text.h"
#include "db/server_writes.h"
#include "db/sqlite_statement.h"

#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QSqlDriver>
#include <algorithm>
#include <charconv>
#include <cstring>
#include <libpq-fe.h>
#include <memory>
#include <numeric>
#include <sqlite3.h>

namespace tvq52 {

namespace {

const QByteArray kStage = "tvq52_merge_stage";
const QByteArray kKeyStage = "tvq52_merge_keys";
// Rows go to the server in pieces of about this many bytes.
constexpr int kCopyChunk = 256 * 1024;
// Straight into an empty table, the server stores the rows in parts of
// this many while the next part is read, checked and digested here.
constexpr qint64 kPartRows = 50000;
// While a part is stored, the server is asked every so many rows whether it is done.
constexpr int kPartPollRows = 64;
constexpr qsizetype kWaitingBytes = 32 * 1024 * 1024;
const QByteArray kStoreStatement = "tvq52_merge_store";

QString serverName(const char* name)
{
    return quoteIdentifier(QString::fromUtf8(name));
}

// One text in COPY's text form, the separators escaped; runs without one
// go in whole.
void appendCopyText(QByteArray& out, const char* text, int size)
{
    int from = 0;
    for (int i = 0; i < size; ++i) {
        const char c = text[i];
        if (c != '\\' && c != '\t' && c != '\n' && c != '\r')
            continue;
        out.append(text + from, i - from);
        out += c == '\\' ? "\\\\" : c == '\t' ? "\\t" : c == '\n' ? "\\n" : "\\r";
        from = i + 1;
    }
    out.append(text + from, size - from);
}

// The value `v` of `column` as PostgreSQL reads it; the checks have passed.
// Read straight from SQLite's value: asking the statement for each column
// takes the connection's lock, and an integer asked for as text is printed
// by SQLite's own printf. `reals` keeps the texts of the singles met, which
// come in few values.
void appendServerValue(QByteArray& out, sqlite3_value* v, const ColumnDef& column, QHash<quint32, QByteArray>& reals)
{
    const int type = sqlite3_value_type(v);
    if (type == SQLITE_NULL) {
        out += "\\N";
        return;
    }
    switch (column.type) {
    case ColumnType::Boolean:
        out += serverBoolText(sqlite3_value_int64(v) != 0);
        return;
    case ColumnType::Single: {
        const float value = float(sqlite3_value_double(v));
        quint32 bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        auto known = reals.constFind(bits);
        if (known == reals.constEnd()) {
            if (reals.size() > 65536)
                reals.clear();
            known = reals.insert(bits, serverRealText(value));
        }
        out += *known;
        return;
    }
    default:
        break;
    }
    if (type == SQLITE_INTEGER) {
        char number[24];
        out.append(number, std::to_chars(number, number + sizeof number, sqlite3_value_int64(v)).ptr - number);
        return;
    }
    const char* text = reinterpret_cast<const char*>(sqlite3_value_text(v));
    appendCopyText(out, text, sqlite3_value_bytes(v));
}

// Every column of the target, NULL where the source has none. The checks,
// keys and digests are made here from the values read, not by functions
// SQLite calls with every value once more for each of them.
QString sourceSelect(sqlite3* source, const TableDef& t, const QString& sourceName)
{
    QSet<QString> present;
    SqliteStatement info;
    if (!info.prepare(source, QStringLiteral("PRAGMA table_info(%1)").arg(quoteIdentifier(sourceName))).failed())
        while (info.step().row())
            present.insert(QString::fromUtf8(info.text(1)).toCaseFolded());
    QStringList values;
    for (const ColumnDef& c : t.columns)
        values << (present.contains(QString::fromUtf8(c.name).toCaseFolded())
                       ? QStringLiteral("s.") + serverName(c.name)
                       : QStringLiteral("NULL"));
    return QStringLiteral("SELECT %1 FROM %2 s").arg(values.join(QLatin1String(", ")), quoteIdentifier(sourceName));
}

// A staged row's number and whether it passes the checks.
void appendStagePrefix(QByteArray& out, qint64 n, bool fits)
{
    char number[24];
    out.append(number, std::to_chars(number, number + sizeof number, n).ptr - number);
    out += fits ? "\tt\t" : "\tf\t";
}

// A staged row's journal key, digest and line, for the server's store function.
void appendListing(QByteArray& out, std::string_view key, const packed_lines::Digest* digest, qint32 pack)
{
    if (!digest) {
        out += "\\N\t\\N\t\\N\t";
        return;
    }
    appendCopyText(out, key.data(), int(key.size()));
    out += "\t\\\\x";
    out += QByteArray::fromRawData(reinterpret_cast<const char*>(digest->data()), int(digest->size())).toHex();
    out += '\t';
    char number[12];
    out.append(number, std::to_chars(number, number + sizeof number, pack).ptr - number);
    out += '\t';
}

// One row in COPY's text form: its number and whether it passes, for a
// staging table, then its values at `at`.
// Whole rows carry their journal listing (`whole`), keys do not.
void appendCopyRow(QByteArray& out, const TableDef& t, sqlite3_value* const* values, const std::vector<size_t>& at,
                   qint64 n, bool fits, QHash<quint32, QByteArray>& reals, bool whole = false,
                   std::string_view key = {}, const packed_lines::Digest* digest = nullptr, qint32 pack = 0)
{
    appendStagePrefix(out, n, fits);
    if (whole)
        appendListing(out, key, digest, pack);
    for (size_t i = 0; i < at.size(); ++i) {
        if (i > 0)
            out += '\t';
        appendServerValue(out, values[at[i]], t.columns[at[i]], reals);
    }
    out += '\n';
}

QByteArray stageTable(const TableDef& t)
{
    QStringList columns{QStringLiteral("n bigint"), QStringLiteral("tvq52_first boolean"),
                        QStringLiteral("tvq52_key text"), QStringLiteral("tvq52_digest bytea"),
                        QStringLiteral("tvq52_pack integer")};
    for (const ColumnDef& c : t.columns)
        columns << serverName(c.name) + QLatin1Char(' ') + serverCast(c);
    return QStringLiteral("CREATE TEMP TABLE %1 (%2) ON COMMIT DROP")
        .arg(QString::fromLatin1(kStage), columns.join(QLatin1String(", ")))
        .toUtf8();
}

// The keys of the source's rows, to find those missing before any row is
// sent whole: merged again, a source sends nothing more.
QByteArray keyStageTable(const TableDef& t)
{
    QStringList columns{QStringLiteral("n bigint"), QStringLiteral("fits boolean")};
    for (const char* k : t.key)
        columns << serverName(k) + QLatin1Char(' ') + serverCast(*t.column(QString::fromUtf8(k)));
    return QStringLiteral("CREATE TEMP TABLE %1 (%2) ON COMMIT DROP")
        .arg(QString::fromLatin1(kKeyStage), columns.join(QLatin1String(", ")))
        .toUtf8();
}

// Answers one row (n -1) with how many staged keys of rows that do not
// pass are there, then the n of each row that passes and whose key is
// not: the first of a key staged twice.
QByteArray missingKeysStatement(const TableDef& t)
{
    QStringList keys, keyMatch;
    for (const char* k : t.key) {
        keys << QStringLiteral("s.") + serverName(k);
        keyMatch << QStringLiteral("t.%1 = s.%1").arg(serverName(k));
    }
    return QStringLiteral("SELECT -1::bigint, (SELECT count(*) FROM %1 s WHERE NOT s.fits AND EXISTS (SELECT 1 FROM "
                          "%2 t WHERE %3)) UNION ALL SELECT min(s.n), 0 FROM %1 s WHERE s.fits AND NOT EXISTS "
                          "(SELECT 1 FROM %2 t WHERE %3) GROUP BY %4")
        .arg(QString::fromLatin1(kKeyStage), serverName(t.name), keyMatch.join(QLatin1String(" AND ")),
             keys.join(QLatin1String(", ")))
        .toUtf8();
}

PGconn* connectionOf(ServerBulk& bulk, const QSqlDatabase& db)
{
    return bulk.valid() ? serverHandle(db) : nullptr;
}

} // namespace

ServerTableMerge::ServerTableMerge(ServerBulk& bulk, const QSqlDatabase& target, sqlite3* source,
                                   MergeFunctions& functions, qint64 entry)
    : bulk_(bulk), conn_(connectionOf(bulk, target)), source_(source), functions_(functions), entry_(entry)
{}

namespace {

Error failureOf(const ServerBulk::Answer& r)
{
    return databaseError(serverFailure(r.sqlState(), r.error(), r.connectionUp()));
}

} // namespace

Status ServerTableMerge::exec(const QByteArray& sql, const std::vector<QByteArray>& params)
{
    const ServerBulk::Answer r = bulk_.exec(sql, params);
    if (!r.ok())
        return failureOf(r);
    return {};
}

Status ServerTableMerge::run(const TableDef& t, const QString& sourceName, MergeTableCount& count)
{
    // The staging table and the join of what was added stay in memory; the
    // first can only be set before the session's first temporary table.
    bulk_.sizeTempBuffers("512MB");
    qint64 presentMisfits = 0;
    const Result<std::optional<qint64>> added = storeTable(t, sourceName, count, presentMisfits);
    if (!added || !*added) {
        if (bulk_.connectionUp())
            bulk_.exec("ROLLBACK", {});
        // The server's own failure stops the merge; it says nothing of the source table.
        count = MergeTableCount{count.table, 0, 0, 0, 0, added ? count.error : QString(), {}};
        return added.status();
    }
    count.read = seen_.read();
    count.added = **added;
    // A staged row that passes the checks and was not added had its key there, or another PC's meanwhile.
    count.present = seen_.fitting - count.added + presentMisfits;
    count.refused = std::max<qint64>(0, count.read - count.added - count.present);
    return {};
}

Result<std::optional<qint64>> ServerTableMerge::storeTable(const TableDef& t, const QString& sourceName,
                                                           MergeTableCount& count, qint64& presentMisfits)
{
    using Added = std::optional<qint64>;
    // Compiling the statement's plan costs more than it gains on one pass.
    // The staged rows' figures (ANALYZE) let the server weigh a scan of the
    // table against a look into its key for each row, when most are there.
    for (const char* sql : {"BEGIN", "SET LOCAL work_mem = '256MB'", "SET LOCAL jit = off"})
        if (Status s = exec(sql); !s)
            return s.error();
    const Result<qint64> lastRow = lastIntervalRow(t);
    if (!lastRow)
        return lastRow.error();
    const Result<bool> empty = isEmpty(t);
    if (!empty)
        return empty.error();
    // Into an empty table every row that passes is staged and stored at
    // once. A key met after all (one twice in the source, or another PC's
    // meanwhile) leaves some unstored, and the rows go again, keys first.
    Added added;
    if (*empty) {
        for (const QByteArray& sql :
             {QByteArray("SAVEPOINT tvq52_merge_direct"), stageTable(t), grantStageStatement(kStage)})
            if (Status s = exec(sql); !s)
                return s.error();
        const Result<bool> copied = copyRows(t, sourceName, count, Copy::Direct);
        if (!copied || !*copied)
            return copied ? Result<Added>(Added()) : Result<Added>(copied.error());
        const Result<Added> stored = partMetKey_ ? Result<Added>(Added()) : store(t, false);
        if (!stored)
            return stored.error();
        added = *stored ? Added(**stored + addedInParts_) : Added();
        if (!added)
            if (Status s = exec("ROLLBACK TO SAVEPOINT tvq52_merge_direct"); !s)
                return s.error();
    }
    // Else the keys first, then only the rows whose key is missing.
    if (!added) {
        const Status keyStage = exec(keyStageTable(t));
        const Result<bool> copied =
            keyStage ? copyRows(t, sourceName, count, Copy::Keys) : Result<bool>(keyStage.error());
        if (!copied || !*copied)
            return copied ? Result<Added>(Added()) : Result<Added>(copied.error());
        const Status analyzed = exec("ANALYZE " + kKeyStage);
        const Result<Missing> missing = analyzed ? findMissing(t) : Result<Missing>(analyzed.error());
        if (!missing)
            return missing.error();
        presentMisfits = missing->presentMisfits;
        added = 0;
        if (!missing->rows.empty()) {
            for (const QByteArray& sql : {stageTable(t), grantStageStatement(kStage)})
                if (Status s = exec(sql); !s)
                    return s.error();
            const Result<bool> rows = copyRows(t, sourceName, count, Copy::Rows, &missing->rows);
            if (!rows || !*rows)
                return rows ? Result<Added>(Added()) : Result<Added>(rows.error());
            if (Status s = exec("ANALYZE " + kStage); !s)
                return s.error();
            const Result<Added> stored = store(t, true);
            if (!stored)
                return stored.error();
            added = stored->value_or(0);
        }
    }
    if (Status s = markNights(t, *lastRow); !s)
        return s.error();
    if (Status s = exec("COMMIT"); !s)
        return s.error();
    return added;
}

// The staged rows through the server's store function, which journals them;
// the entry's lines are read back when it is sealed. Nothing when a stored
// key refused them (only without `skipStored`).
Result<std::optional<qint64>> ServerTableMerge::store(const TableDef& t, bool skipStored)
{
    return storeAnswer(bulk_.exec(collectStoreCall(), storeParams(t, skipStored)), skipStored);
}

std::vector<QByteArray> ServerTableMerge::storeParams(const TableDef& t, bool skipStored) const
{
    return {QByteArray::number(entry_), t.name, kStage, skipStored ? "t" : "f"};
}

Result<std::optional<qint64>> ServerTableMerge::storeAnswer(const ServerBulk::Answer& r, bool skipStored)
{
    if (!skipStored && r.sqlState() == "23505")
        return std::optional<qint64>();
    if (!r.ok())
        return failureOf(r);
    qint64 added = 0;
    for (int row = 0; row < r.rows(); ++row)
        if (r.isNull(row, 0))
            added = QByteArray(r.text(row, 5)).toLongLong();
    return std::optional<qint64>(added);
}

Result<ServerTableMerge::Missing> ServerTableMerge::findMissing(const TableDef& t)
{
    const ServerBulk::Answer r = bulk_.exec(missingKeysStatement(t), {});
    if (!r.ok())
        return failureOf(r);
    Missing missing;
    for (int row = 0; row < r.rows(); ++row) {
        const qint64 n = QByteArray(r.text(row, 0)).toLongLong();
        if (n >= 0)
            missing.rows.push_back(n);
        else
            missing.presentMisfits = QByteArray(r.text(row, 1)).toLongLong();
    }
    std::sort(missing.rows.begin(), missing.rows.end());
    return missing;
}

Result<qint64> ServerTableMerge::lastIntervalRow(const TableDef& t)
{
    if (qstrcmp(t.name, "Intervalos") != 0)
        return qint64(0);
    const ServerBulk::Answer r = bulk_.exec("SELECT coalesce(max(rowid), 0) FROM \"Intervalos\"", {});
    if (!r.ok() || r.rows() != 1)
        return failureOf(r);
    return QByteArray(r.text(0, 0)).toLongLong();
}

Status ServerTableMerge::markNights(const TableDef& t, qint64 afterRow)
{
    if (qstrcmp(t.name, "Intervalos") != 0)
        return {};
    return exec(markNightsAfterRowSql(SqlDialect::PostgreSQL, QStringLiteral("$1")).toUtf8(),
                {QByteArray::number(afterRow)});
}

Result<bool> ServerTableMerge::isEmpty(const TableDef& t)
{
    const ServerBulk::Answer r =
        bulk_.exec(QStringLiteral("SELECT NOT EXISTS (SELECT 1 FROM %1)").arg(serverName(t.name)).toUtf8(), {});
    if (!r.ok() || r.rows() != 1)
        return failureOf(r);
    return r.text(0, 0)[0] == 't';
}

Status ServerTableMerge::startCopy(const QByteArray& sql)
{
    const std::unique_ptr<PGresult, void (*)(PGresult*)> start(PQexec(conn_, sql.constData()), PQclear);
    if (start && PQresultStatus(start.get()) == PGRES_COPY_IN)
        return {};
    const char* state = start ? PQresultErrorField(start.get(), PG_DIAG_SQLSTATE) : nullptr;
    return databaseError(
        serverFailure(state ? QByteArray(state) : QByteArray(), bulk_.connectionError(), bulk_.connectionUp()));
}

Result<bool> ServerTableMerge::copyRows(const TableDef& t, const QString& sourceName, MergeTableCount& count, Copy what,
                                        const std::vector<qint64>* only)
{
    const bool keysOnly = what == Copy::Keys;
    SqliteStatement rows;
    if (const SqliteStep prepared = rows.prepare(source_, sourceSelect(source_, t, sourceName)); prepared.failed()) {
        count.error = prepared.message;
        return false;
    }
    if (Status started = startCopy("COPY " + (keysOnly ? kKeyStage : kStage) + " FROM STDIN"); !started)
        return started.error();
    size_t next = 0; // in `only`
    const size_t columns = t.columns.size();
    const bool journaled = isJournaledTable(t);
    std::vector<size_t> keyAt; // the key's columns, in the key's order
    for (const char* k : t.key)
        keyAt.push_back(size_t(t.column(QString::fromUtf8(k)) - t.columns.data()));
    std::vector<size_t> allColumns(columns);
    std::iota(allColumns.begin(), allColumns.end(), size_t(0));
    std::vector<sqlite3_value*> values(columns), keys(keyAt.size());
    packed_lines::Digest digest{};
    packed_lines::LineNumbers packs;
    seen_ = MergeFunctions::Counts();
    QByteArray chunk;
    chunk.reserve(kCopyChunk + 4096);
    qint64 n = 0;
    QHash<quint32, QByteArray> reals;
    SqliteStep step;
    bool sent = true;
    // Straight into the table, in parts: one is stored while the rows of
    // the next wait in `chunk`, all in the table's one transaction.
    const bool inParts = what == Copy::Direct;
    addedInParts_ = 0;
    partMetKey_ = false;
    qint64 partRows = 0;
    bool storing = false;
    int sincePoll = 0;
    const auto serverLost = [this] {
        return databaseError(serverFailure(QByteArray(), bulk_.connectionError(), bulk_.connectionUp()));
    };
    const auto storePart = [&]() -> Status {
        if (!chunk.isEmpty() && PQputCopyData(conn_, chunk.constData(), int(chunk.size())) != 1)
            return serverLost();
        chunk.clear();
        if (PQputCopyEnd(conn_, nullptr) != 1)
            return serverLost();
        if (const ServerBulk::Answer end = bulk_.receive(); !end.ok())
            return failureOf(end);
        if (!bulk_.ensurePrepared(kStoreStatement, collectStoreCall(), 4)
            || !bulk_.sendPrepared(kStoreStatement, storeParams(t, false)))
            return serverLost();
        storing = true;
        partRows = 0;
        packs.clear(); // a part's lines list its own records
        return {};
    };
    // The part stored: its rows counted, the staging table emptied for the
    // next, whose rows read meanwhile go in at once.
    const auto settlePart = [&]() -> Status {
        storing = false;
        const Result<std::optional<qint64>> stored = storeAnswer(bulk_.receive(), false);
        if (!stored)
            return stored.error();
        if (!*stored) {
            partMetKey_ = true;
            return {};
        }
        addedInParts_ += **stored;
        if (Status emptied = exec("TRUNCATE " + kStage); !emptied)
            return emptied;
        return startCopy("COPY " + kStage + " FROM STDIN");
    };
    while (sent && (step = rows.step()).row()) {
        // Read on this thread only, while the row is current.
        for (size_t c = 0; c < columns; ++c)
            values[c] = rows.value(int(c));
        const RowFit fit = MergeFunctions::fit(t, values.data());
        ++(fit == RowFit::Fits ? seen_.fitting : fit == RowFit::KeyOnly ? seen_.keyOnly : seen_.keyRefused);
        if (fit == RowFit::KeyRefused)
            continue;
        ++n;
        while (only && next < only->size() && (*only)[next] < n)
            ++next;
        // Whole only the rows that pass and, straight into the table, have
        // no key there, or were found missing.
        const bool whole = fit == RowFit::Fits && !keysOnly && (!only || (next < only->size() && (*only)[next] == n));
        if (keysOnly) {
            appendCopyRow(chunk, t, values.data(), keyAt, n, fit == RowFit::Fits, reals);
        } else if (whole && journaled) {
            for (size_t k = 0; k < keyAt.size(); ++k)
                keys[k] = values[keyAt[k]];
            // The digest first: the key is made in the same buffer as the row's text.
            std::memcpy(digest.data(), functions_.rawDigest(t, values.data()), digest.size());
            const std::string_view key = functions_.keyText(t, keys.data());
            appendCopyRow(chunk, t, values.data(), allColumns, n, true, reals, true, key, &digest, packs.next(key));
        } else if (whole) {
            appendCopyRow(chunk, t, values.data(), allColumns, n, true, reals, true);
        }
        partRows += whole ? 1 : 0;
        if (storing) {
            // Rows wait here up to a bound: a server held up (a lock) is waited for.
            if (chunk.size() < kWaitingBytes && (++sincePoll < kPartPollRows || bulk_.busy()))
                continue;
            sincePoll = 0;
            if (Status settled = settlePart(); !settled)
                return settled.error();
            if (partMetKey_)
                return true;
        }
        if (chunk.size() >= kCopyChunk) {
            sent = PQputCopyData(conn_, chunk.constData(), int(chunk.size())) == 1;
            chunk.clear();
        }
        if (sent && inParts && partRows >= kPartRows)
            if (Status part = storePart(); !part)
                return part.error();
    }
    // The last part's rows follow the one being stored, if any.
    if (storing) {
        if (Status settled = settlePart(); !settled)
            return settled.error();
        if (partMetKey_)
            return true;
    }
    if (sent && !chunk.isEmpty())
        sent = PQputCopyData(conn_, chunk.constData(), int(chunk.size())) == 1;
    if (step.failed())
        count.error = step.message;
    // A source that stops being readable ends the copy with the source's words.
    if (sent)
        sent = PQputCopyEnd(conn_, count.error.isEmpty() ? nullptr : count.error.toUtf8().constData()) == 1;
    const ServerBulk::Answer end = bulk_.receive();
    if (!count.error.isEmpty())
        return false;
    if (!sent)
        return databaseError(serverFailure(QByteArray(), bulk_.connectionError(), bulk_.connectionUp()));
    if (!end.ok())
        return failureOf(end);
    return true;
}

void ServerRowSink::mergeFile(const QString& sourcePath, qint64 entry, MergeResult& result,
                              const MergeProgress& progress, const MergeStop& stop)
{
    Database& target = database_;
    sqlite3* source = nullptr;
    const int opened = sqlite3_open_v2(QFileInfo(sourcePath).absoluteFilePath().toUtf8().constData(), &source,
                                       SQLITE_OPEN_READONLY, nullptr);
    const std::unique_ptr<sqlite3, int (*)(sqlite3*)> closer(source, sqlite3_close);
    QStringList sourceTables;
    {
        // A file that is not a database only shows itself on the first read.
        SqliteStatement q;
        SqliteStep step = opened == SQLITE_OK
            ? q.prepare(source, QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'"))
            : SqliteStep{SqliteStep::State::Failed, opened, QString::fromUtf8(sqlite3_errmsg(source))};
        while (!step.failed() && (step = q.step()).row())
            sourceTables << QString::fromUtf8(q.text(0));
        if (step.failed()) {
            result.fault = MergeResult::Fault::NotOurs;
            result.detail = step.message;
            return;
        }
    }
    if (sourceTableName(sourceTables, "Programacion").isEmpty()) {
        result.fault = MergeResult::Fault::NotOurs;
        return;
    }
    ServerBulk bulk(target.connection());
    if (!bulk.valid()) {
        result.failure = serverFailure(QByteArray(), target.connection().lastError().text(), false);
        return;
    }
    MergeFunctions functions;
    if (!functions.registerOn(source)) {
        result.fault = MergeResult::Fault::NotOurs;
        result.detail = QString::fromUtf8(sqlite3_errmsg(source));
        return;
    }
    ServerTableMerge merge(bulk, target.connection(), source, functions, entry);
    mergeSharedTables(
        sourceTables, progress, stop, result,
        [&](const TableDef& t, const QString& name, MergeTableCount& count) {
            if (const Status merged = merge.run(t, name, count); !merged)
                result.failure = databaseFailureOf(merged.error());
        },
        [source](const QString& name) { return sourceColumnNames(source, name); });
    if (result.failure.kind == DatabaseFailure::Kind::ConnectionLost)
        target.noteFailure(QSqlError(QString(), result.failure.detail, QSqlError::ConnectionError));
}

} // namespace tvq52
