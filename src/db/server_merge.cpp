#include "db/server_merge.h"

#include "db/fleet_tables.h"
#include "db/journal_codec.h"
#include "db/merge_functions.h"
#include "db/server_bulk.h"
#include "db/server_text.h"
#include "db/sqlite_statement.h"

#include <QHash>
#include <QSet>
#include <QSqlDriver>
#include <charconv>
#include <cstring>
#include <libpq-fe.h>
#include <memory>
#include <sqlite3.h>

namespace tvq52 {

namespace {

const QByteArray kStage = "tvq52_merge_stage";
// Rows go to the server in pieces of about this many bytes.
constexpr int kCopyChunk = 256 * 1024;

QString serverName(const char* name)
{
    return quoteIdentifier(QString::fromUtf8(name));
}

// One value in COPY's text form: NULL as \N, the separators escaped.
void appendCopyValue(QByteArray& out, const char* text, int size)
{
    if (!text) {
        out += "\\N";
        return;
    }
    for (int i = 0; i < size; ++i) {
        const char c = text[i];
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
}

// The value of source column `c` as PostgreSQL reads it; the checks have
// passed. `reals` keeps the texts of the singles met, which come in few values.
void appendServerValue(QByteArray& out, const SqliteStatement& rows, int c, const ColumnDef& column,
                       QHash<quint32, QByteArray>& reals)
{
    if (rows.isNull(c)) {
        out += "\\N";
        return;
    }
    switch (column.type) {
    case ColumnType::Boolean:
        out += serverBoolText(rows.integer(c) != 0);
        return;
    case ColumnType::Single: {
        const float value = float(rows.real(c));
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
        appendCopyValue(out, rows.text(c), rows.bytes(c));
    }
}

// Every column of the target (NULL where the source has none), whether the
// row passes the checks, and the journal's key text and digest of it.
QString sourceSelect(sqlite3* source, const TableDef& t, const QString& sourceName)
{
    QSet<QString> present;
    SqliteStatement info;
    if (!info.prepare(source, QStringLiteral("PRAGMA table_info(%1)").arg(quoteIdentifier(sourceName))).failed())
        while (info.step().row())
            present.insert(QString::fromUtf8(info.text(1)).toCaseFolded());
    QStringList values, keys;
    for (const ColumnDef& c : t.columns)
        values << (present.contains(QString::fromUtf8(c.name).toCaseFolded())
                       ? QStringLiteral("s.") + serverName(c.name)
                       : QStringLiteral("NULL"));
    for (const char* k : t.key)
        keys << values[t.column(QString::fromUtf8(k)) - t.columns.data()];
    return QStringLiteral("SELECT %1, %2, %3, %4 FROM %5 s")
        .arg(values.join(QLatin1String(", ")), MergeFunctions::call("tvq52_merge_row", t, values),
             MergeFunctions::call("tvq52_key_text", t, keys), MergeFunctions::call("tvq52_row_digest", t, values),
             quoteIdentifier(sourceName));
}

QByteArray stageTable(const TableDef& t)
{
    QStringList columns{QStringLiteral("n bigint"), QStringLiteral("fits boolean")};
    for (const ColumnDef& c : t.columns)
        columns << serverName(c.name) + QLatin1Char(' ') + serverCast(c);
    columns << QStringLiteral("tclave text") << QStringLiteral("thuella text");
    return QStringLiteral("CREATE TEMP TABLE %1 (%2) ON COMMIT DROP")
        .arg(QString::fromLatin1(kStage), columns.join(QLatin1String(", ")))
        .toUtf8();
}

// Adds the staged rows that pass the checks unless their key is there and
// lists those it added in the journal entry ($1, table $2); answers how many
// it added, how many it listed, and how many rows that do not pass had their
// key there before.
QByteArray addMissingStatement(const TableDef& t, bool keysOnce)
{
    const QString table = serverName(t.name), stage = QString::fromLatin1(kStage);
    QStringList columns, keys, insMatch, keyMatch;
    for (const ColumnDef& c : t.columns)
        columns << serverName(c.name);
    for (const char* k : t.key) {
        keys << serverName(k);
        insMatch << QStringLiteral("s.%1 = ins.%1").arg(keys.last());
        keyMatch << QStringLiteral("t.%1 = s.%1").arg(keys.last());
    }
    const QString cols = columns.join(QLatin1String(", "));
    QString sql = QStringLiteral(
                      "WITH ins AS (INSERT INTO %1 (%2) SELECT %2 FROM %3 WHERE fits ON CONFLICT (%4) "
                      "DO NOTHING RETURNING rowid, %4)")
                      .arg(table, cols, stage, keys.join(QLatin1String(", ")));
    // With a key twice in the source the row staged first is the one added,
    // which takes a sort of the rows added to find.
    if (isJournaledTable(t))
        sql += QStringLiteral(
                   ", listed AS (INSERT INTO \"DiarioRegistros\" (\"LEntrada\", \"TTabla\", \"TClave\", "
                   "\"THuella\") SELECT %3 $1::bigint, $2::text, s.tclave, s.thuella "
                   "FROM ins JOIN %1 s ON s.fits AND %2 WHERE EXISTS (SELECT 1 FROM \"Diario\" WHERE "
                   "\"LId\" = $1::bigint AND \"THash\" IS NULL) %4 RETURNING 1)")
                   .arg(stage, insMatch.join(QLatin1String(" AND ")),
                        keysOnce ? QString() : QStringLiteral("DISTINCT ON (ins.rowid)"),
                        keysOnce ? QString() : QStringLiteral("ORDER BY ins.rowid, s.n"));
    sql += QStringLiteral(
               " SELECT (SELECT count(*) FROM ins), %1, (SELECT count(*) FROM %2 s WHERE NOT s.fits AND "
               "EXISTS (SELECT 1 FROM %3 t WHERE %4))")
               .arg(isJournaledTable(t) ? QStringLiteral("(SELECT count(*) FROM listed)")
                                        : QStringLiteral("(SELECT count(*) FROM ins)"),
                    stage, table, keyMatch.join(QLatin1String(" AND ")));
    return sql.toUtf8();
}

PGconn* connectionOf(ServerBulk& bulk, const QSqlDatabase& db)
{
    const QVariant handle = bulk.valid() && db.driver() ? db.driver()->handle() : QVariant();
    return handle.isValid() ? *static_cast<PGconn* const*>(handle.constData()) : nullptr;
}

} // namespace

ServerTableMerge::ServerTableMerge(ServerBulk& bulk, const QSqlDatabase& target, sqlite3* source,
                                   MergeFunctions& functions, qint64 entry)
    : bulk_(bulk), conn_(connectionOf(bulk, target)), source_(source), functions_(functions), entry_(entry)
{}

bool ServerTableMerge::exec(const QByteArray& sql, const std::vector<QByteArray>& params)
{
    const ServerBulk::Answer r = bulk_.exec(sql, params);
    if (!r.ok()) {
        if (!failure.failed())
            failure = serverFailure(r.sqlState(), r.error(), r.connectionUp());
        return false;
    }
    if (r.rows() == 1)
        for (int c = 0; c < 3; ++c)
            answer_[c] = QByteArray(r.text(0, c));
    return true;
}

void ServerTableMerge::run(const TableDef& t, const QString& sourceName, MergeTableCount& count)
{
    functions_.resetCounts();
    // The staging table and the join of what was added stay in memory; the
    // first can only be set before the session's first temporary table.
    if (const ServerBulk::Answer fresh = bulk_.exec("SELECT pg_my_temp_schema() = 0", {});
        fresh.ok() && fresh.rows() == 1 && fresh.text(0, 0)[0] == 't')
        bulk_.exec("SET temp_buffers = '512MB'", {});
    // Compiling the statement's plan costs more than it gains on one pass.
    qint64 lastRow = 0;
    const bool done = exec("BEGIN") && exec("SET LOCAL work_mem = '256MB'") && exec("SET LOCAL jit = off")
        && lastIntervalRow(t, &lastRow) && exec(stageTable(t)) && copyRows(t, sourceName, count) && addMissing(t)
        && markNights(t, lastRow) && exec("COMMIT");
    if (!done) {
        if (bulk_.connectionUp())
            bulk_.exec("ROLLBACK", {});
        // The server's own failure stops the merge; it says nothing of the source table.
        count = MergeTableCount{count.table, 0, 0, 0, 0, failure.failed() ? QString() : count.error, {}};
        return;
    }
    const MergeFunctions::Counts& seen = functions_.counts();
    count.read = seen.read();
    count.added = answer_[0].toLongLong();
    // A staged row that passes the checks and was not added had its key there, or another PC's meanwhile.
    count.present = seen.fitting - count.added + answer_[2].toLongLong();
    count.refused = std::max<qint64>(0, count.read - count.added - count.present);
}

bool ServerTableMerge::addMissing(const TableDef& t)
{
    if (!isJournaledTable(t))
        return exec(addMissingStatement(t, true));
    const std::vector<QByteArray> params{QByteArray::number(entry_), QByteArray(t.name)};
    if (!exec("SAVEPOINT tvq52_staged") || !exec(addMissingStatement(t, true), params))
        return false;
    // More rows listed than added: a key was there twice in the source.
    if (answer_[0] != answer_[1]
        && (!exec("ROLLBACK TO SAVEPOINT tvq52_staged") || !exec(addMissingStatement(t, false), params)))
        return false;
    if (answer_[0] != answer_[1]) {
        failure = serverFailure(QByteArray(), QStringLiteral("Journal entry %1 is not open").arg(entry_), true);
        return false;
    }
    return true;
}

bool ServerTableMerge::lastIntervalRow(const TableDef& t, qint64* row)
{
    if (qstrcmp(t.name, "Intervalos") != 0)
        return true;
    const ServerBulk::Answer r = bulk_.exec("SELECT coalesce(max(rowid), 0) FROM \"Intervalos\"", {});
    if (!r.ok() || r.rows() != 1) {
        if (!failure.failed())
            failure = serverFailure(r.sqlState(), r.error(), r.connectionUp());
        return false;
    }
    *row = QByteArray(r.text(0, 0)).toLongLong();
    return true;
}

bool ServerTableMerge::markNights(const TableDef& t, qint64 afterRow)
{
    if (qstrcmp(t.name, "Intervalos") != 0)
        return true;
    return exec(markNightsAfterRowSql(SqlDialect::PostgreSQL, QStringLiteral("$1")).toUtf8(),
                {QByteArray::number(afterRow)});
}

bool ServerTableMerge::startCopy()
{
    const std::unique_ptr<PGresult, void (*)(PGresult*)> start(
        PQexec(conn_, QByteArray("COPY " + kStage + " FROM STDIN").constData()), PQclear);
    if (start && PQresultStatus(start.get()) == PGRES_COPY_IN)
        return true;
    const char* state = start ? PQresultErrorField(start.get(), PG_DIAG_SQLSTATE) : nullptr;
    failure = serverFailure(state ? QByteArray(state) : QByteArray(), bulk_.connectionError(), bulk_.connectionUp());
    return false;
}

bool ServerTableMerge::copyRows(const TableDef& t, const QString& sourceName, MergeTableCount& count)
{
    SqliteStatement rows;
    if (const SqliteStep prepared = rows.prepare(source_, sourceSelect(source_, t, sourceName)); prepared.failed()) {
        count.error = prepared.message;
        return false;
    }
    if (!startCopy())
        return false;
    const int columns = int(t.columns.size());
    QByteArray chunk;
    chunk.reserve(kCopyChunk + 4096);
    qint64 n = 0;
    QHash<quint32, QByteArray> reals;
    SqliteStep step;
    bool sent = true;
    while (sent && (step = rows.step()).row()) {
        const auto fit = RowFit(int(rows.integer(columns)));
        if (fit == RowFit::KeyRefused)
            continue;
        // Of a row that does not pass, only its key is staged, to be looked up.
        char number[24];
        chunk.append(number, std::to_chars(number, number + sizeof number, ++n).ptr - number);
        chunk += fit == RowFit::Fits ? "\tt" : "\tf";
        for (int c = 0; c < columns; ++c) {
            chunk += '\t';
            const ColumnDef& column = t.columns[size_t(c)];
            if (fit == RowFit::Fits || t.isKey(column))
                appendServerValue(chunk, rows, c, column, reals);
            else
                chunk += "\\N";
        }
        for (int c = columns + 1; c < columns + 3; ++c) {
            chunk += '\t';
            appendCopyValue(chunk, fit == RowFit::Fits ? rows.text(c) : nullptr, rows.bytes(c));
        }
        chunk += '\n';
        if (chunk.size() >= kCopyChunk) {
            sent = PQputCopyData(conn_, chunk.constData(), int(chunk.size())) == 1;
            chunk.clear();
        }
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
    if (!sent || !end.ok()) {
        failure = sent ? serverFailure(end.sqlState(), end.error(), end.connectionUp())
                       : serverFailure(QByteArray(), bulk_.connectionError(), bulk_.connectionUp());
        return false;
    }
    return true;
}

} // namespace tvq52
