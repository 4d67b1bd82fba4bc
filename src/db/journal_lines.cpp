#include "db/journal_lines.h"

#include "db/journal_codec.h"
#include "db/sha256.h"
#include "db/sql_error.h"
#include "db/sqlite_statement.h"

#include <QSqlError>
#include <QSqlQuery>

namespace tvq52 {

namespace {

const QString kLines = QStringLiteral(
    "SELECT \"TTabla\", \"TClave\", \"THuella\" FROM \"DiarioRegistros\" "
    "WHERE \"LEntrada\" = ? ORDER BY rowid");
// The lines a server joins into one text to hash: it holds a text of at most 1 GB.
constexpr qint64 kServerHashedLines = 4'000'000;

Result<QByteArray> sqliteLinesDigest(sqlite3* handle, qint64 entry)
{
    SqliteStatement lines;
    SqliteStep step = lines.prepare(handle, kLines);
    if (step.failed())
        return Error(0, step.message);
    lines.bind(0, entry);
    Sha256 hash;
    QByteArray line;
    while ((step = lines.step()).row()) {
        line.clear();
        for (int c = 0; c < 3; ++c) {
            const QByteArrayView text(lines.text(c), lines.bytes(c));
            // What the journal wrote is UTF-8; anything else goes as Qt reads it.
            line += text.isValidUtf8() ? text.toByteArray() : QString::fromUtf8(text).toUtf8();
            line += c < 2 ? char(journal_codec::kSeparator.unicode()) : char(0x1e);
        }
        hash.addData(line);
    }
    if (step.failed())
        return Error(0, step.message);
    return hash.hexResult();
}

Result<QByteArray> queriedLinesDigest(QSqlDatabase db, qint64 entry)
{
    QSqlQuery lines(db);
    lines.setForwardOnly(true);
    lines.prepare(kLines);
    lines.addBindValue(entry);
    if (!lines.exec())
        return sqlError(lines.lastError());
    Sha256 hash;
    while (lines.next())
        hash.addData(
            journal_codec::recordLine(lines.value(0).toString(), lines.value(1).toString(), lines.value(2).toString()));
    return hash.hexResult();
}

Result<QByteArray> serverLinesDigest(QSqlDatabase db, qint64 entry)
{
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT count(*) FROM \"DiarioRegistros\" WHERE \"LEntrada\" = ?"));
    q.addBindValue(entry);
    if (!q.exec() || !q.next())
        return sqlError(q.lastError());
    if (q.value(0).toLongLong() > kServerHashedLines)
        return queriedLinesDigest(db, entry);
    q.prepare(QStringLiteral(
        "SELECT encode(sha256(convert_to(coalesce(string_agg(\"TTabla\" || chr(31) || \"TClave\" || chr(31) || "
        "\"THuella\" || chr(30), '' ORDER BY rowid), ''), 'UTF8')), 'hex') FROM \"DiarioRegistros\" "
        "WHERE \"LEntrada\" = ?"));
    q.addBindValue(entry);
    if (!q.exec() || !q.next())
        return sqlError(q.lastError());
    return q.value(0).toString().toLatin1();
}

} // namespace

Result<QByteArray> journalLinesDigest(QSqlDatabase db, qint64 entry)
{
    if (sqlite3* handle = sqliteHandle(db))
        return sqliteLinesDigest(handle, entry);
    return serverLinesDigest(db, entry);
}

} // namespace tvq52
