// The digest of an entry's record lines, read straight from the backend: an
// import of a million rows is sealed over a million lines, which through
// QSqlQuery take longer than storing them.
#include "core/sha256.h"
#include "db/database.h"
#include "db/journal_codec.h"
#include "db/packed_lines.h"
#include "db/server_bulk.h"
#include "db/sqlite_statement.h"

#include <QSqlError>
#include <QSqlQuery>
#include <optional>

namespace tvq52::journal_codec {

namespace {

const char* const kLinesSql = "SELECT \"TTabla\", \"TClave\", \"THuella\", \"TClaveFin\" FROM \"DiarioRegistros\" "
                              "WHERE \"LEntrada\" = %1 ORDER BY rowid";

// recordLine()'s bytes, from the UTF-8 the backend gives; a packed line's
// lineText() when it has a last key.
void addLine(Sha256& hash, std::string_view table, std::string_view key, std::string_view digest,
             std::optional<std::string_view> lastKey)
{
    if (lastKey) {
        hash.add(packed_lines::lineText(QByteArrayView(table.data(), qsizetype(table.size())),
                                        QByteArrayView(key.data(), qsizetype(key.size())),
                                        QByteArrayView(lastKey->data(), qsizetype(lastKey->size())),
                                        QByteArrayView(digest.data(), qsizetype(digest.size()))));
        return;
    }
    hash.add(QByteArrayView(table.data(), qsizetype(table.size())));
    hash.add("\x1f");
    hash.add(QByteArrayView(key.data(), qsizetype(key.size())));
    hash.add("\x1f");
    hash.add(QByteArrayView(digest.data(), qsizetype(digest.size())));
    hash.add("\x1e");
}

std::string_view columnText(const SqliteStatement& s, int i)
{
    const char* text = s.text(i);
    return text ? std::string_view(text, size_t(s.bytes(i))) : std::string_view();
}

Result<QByteArray> sqliteLines(sqlite3* db, qint64 entry)
{
    SqliteStatement lines;
    SqliteStep step = lines.prepare(db, QString::fromLatin1(kLinesSql).arg(QLatin1Char('?')));
    Sha256 hash;
    if (!step.failed()) {
        lines.bindInteger(0, entry);
        while ((step = lines.step()).row())
            addLine(hash, columnText(lines, 0), columnText(lines, 1), columnText(lines, 2),
                    lines.text(3) ? std::optional(columnText(lines, 3)) : std::nullopt);
    }
    if (step.failed())
        return Error(0, step.message);
    return hash.result().toHex();
}

// In pieces through a cursor of the caller's transaction.
Result<QByteArray> serverLines(ServerBulk& bulk, qint64 entry)
{
    const QByteArray select = QByteArray(kLinesSql).replace("%1", QByteArray::number(entry));
    ServerBulk::Answer r = bulk.exec("DECLARE tvq52_lines NO SCROLL CURSOR FOR " + select, {});
    Sha256 hash;
    while (r.ok()) {
        r = bulk.exec("FETCH 20000 FROM tvq52_lines", {});
        for (int row = 0; r.ok() && row < r.rows(); ++row)
            addLine(hash, r.text(row, 0), r.text(row, 1), r.text(row, 2),
                    r.isNull(row, 3) ? std::nullopt : std::optional<std::string_view>(r.text(row, 3)));
        if (r.ok() && r.rows() == 0)
            break;
    }
    if (!r.ok())
        return Error(0, r.error());
    bulk.exec("CLOSE tvq52_lines", {});
    return hash.result().toHex();
}

} // namespace

Result<QByteArray> entryLinesDigest(Database& database, qint64 entry)
{
    if (sqlite3* handle = sqliteHandle(database.connection()))
        return sqliteLines(handle, entry);
    ServerBulk bulk(database.connection());
    if (bulk.valid())
        return serverLines(bulk, entry);
    QSqlQuery lines(database.connection());
    lines.setForwardOnly(true);
    if (!lines.exec(QString::fromLatin1(kLinesSql).arg(entry)))
        return Error(0, lines.lastError().text());
    Sha256 hash;
    while (lines.next())
        hash.add(lines.value(3).isNull()
                     ? recordLine(lines.value(0).toString(), lines.value(1).toString(), lines.value(2).toString())
                     : packed_lines::lineText(lines.value(0).toString().toUtf8(), lines.value(1).toString().toUtf8(),
                                              lines.value(3).toString().toUtf8(), lines.value(2).toString().toUtf8()));
    return hash.result().toHex();
}

} // namespace tvq52::journal_codec
