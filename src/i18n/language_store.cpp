#include "i18n/language_store.h"

#include "core/own_words.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <limits>

namespace tvq52 {

namespace {

const QString kTable = QStringLiteral("LocGuru");
const QString kNative = QStringLiteral("Native");
const QString kSkip = QStringLiteral("bSkip");

// Booleans may be stored as -1/1/0 or as words by a hand-edited database.
bool isTrue(const QVariant& value)
{
    const QString text = value.toString().trimmed().toLower();
    if (text.isEmpty() || text == QLatin1String("0") || text == QLatin1String("false") || text == QLatin1String("no"))
        return false;
    return true;
}

// The declared size of the "Native" column ("VARCHAR(255)"); a column
// declared without one has no limit.
int declaredSize(const QString& type)
{
    static const QRegularExpression size(QStringLiteral("\\(\\s*(\\d+)\\s*\\)"));
    const QRegularExpressionMatch m = size.match(type);
    return m.hasMatch() ? m.captured(1).toInt() : std::numeric_limits<int>::max();
}

} // namespace

int findLanguageColumn(const QStringList& columns, const QString& name)
{
    for (int i = 0; i < columns.size(); ++i)
        if (columns[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

LanguageStore::~LanguageStore()
{
    close();
}

void LanguageStore::close()
{
    if (connection_.isEmpty())
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(connection_, false);
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(connection_);
    connection_.clear();
}

Result<LanguageTable> LanguageStore::open(const QString& path, bool readOnly)
{
    close();
    // SQLite would quietly create a missing file.
    if (!QFileInfo(path).isFile())
        return finalText(QStringLiteral("Could not find file '%1'.").arg(path));
    static int serial = 0;
    connection_ = QStringLiteral("tvq52-language-%1").arg(++serial);
    std::optional<Result<LanguageTable>> read;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
        db.setDatabaseName(path);
        if (readOnly)
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        read.emplace(readTable(db, path));
    }
    // Reading needs no open connection; only an export keeps one.
    if (!*read || readOnly)
        close();
    return std::move(*read);
}

Result<LanguageTable> LanguageStore::readTable(QSqlDatabase& db, const QString& path)
{
    if (!db.open())
        return finalText(db.lastError().text());

    LanguageTable table;

    QSqlQuery info(db);
    bool hasTable = false;
    bool hasNative = false;
    if (info.exec(QStringLiteral("PRAGMA table_info(LocGuru)"))) {
        while (info.next()) {
            hasTable = true;
            if (info.value(1).toString().compare(kNative, Qt::CaseInsensitive) == 0) {
                hasNative = true;
                table.maxNativeLength = declaredSize(info.value(2).toString());
            }
        }
    }
    if (!hasTable)
        return finalText(QStringLiteral("The table '%1' does not exist in '%2'.").arg(kTable, path));
    if (!hasNative)
        return finalText(QStringLiteral("The table '%1' has no column '%2'.").arg(kTable, kNative));

    // Stored order: the lookup groups case variants itself, for every
    // alphabet, keeping this order within each group.
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT rowid, * FROM LocGuru ORDER BY rowid")))
        return finalText(query.lastError().text());
    const QSqlRecord record = query.record();
    for (int i = 1; i < record.count(); ++i)
        table.columns.append(record.fieldName(i));
    table.nativeColumn = findLanguageColumn(table.columns, kNative);
    const int skipAt = findLanguageColumn(table.columns, kSkip);
    const int columnCount = int(table.columns.size());
    while (query.next()) {
        if (query.isNull(table.nativeColumn + 1))
            continue;
        LanguageEntry row;
        row.rowId = query.value(0).toLongLong();
        row.values.reserve(columnCount);
        for (int i = 0; i < columnCount; ++i)
            row.values.append(query.value(i + 1).toString());
        row.native = row.values[table.nativeColumn];
        row.skip = skipAt >= 0 && isTrue(query.value(skipAt + 1));
        table.rows.append(std::move(row));
    }
    if (query.lastError().isValid())
        return finalText(query.lastError().text());
    return table;
}

void LanguageStore::beginExport()
{
    QSqlDatabase::database(connection_, false).transaction();
}

Status LanguageStore::commitExport()
{
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    if (!db.commit()) {
        const Error error = finalText(db.lastError().text());
        db.rollback();
        return error;
    }
    return {};
}

Status LanguageStore::clearUsedMarks()
{
    QSqlQuery clear(QSqlDatabase::database(connection_, false));
    if (!clear.exec(QStringLiteral("UPDATE LocGuru SET bIsUsed = 0")))
        return finalText(clear.lastError().text());
    return {};
}

Status LanguageStore::markUsed(qint64 rowId)
{
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    query.prepare(QStringLiteral("UPDATE LocGuru SET bIsUsed = 1 WHERE rowid = ?"));
    query.addBindValue(rowId);
    if (!query.exec())
        return finalText(query.lastError().text());
    return {};
}

Result<qint64> LanguageStore::insertUsed(const QString& native)
{
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    query.prepare(QStringLiteral("INSERT INTO LocGuru (Native, bIsUsed) VALUES (?, 1)"));
    query.addBindValue(native);
    if (!query.exec())
        return finalText(query.lastError().text());
    return query.lastInsertId().toLongLong();
}

} // namespace tvq52
