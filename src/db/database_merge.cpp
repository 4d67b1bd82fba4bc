#include "db/database_merge.h"

#include "db/database.h"
#include "db/journal.h"
#include "db/schema.h"

#include <QFileInfo>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUuid>
#include <filesystem>

namespace tvq52 {

namespace {

const QString kSource = QStringLiteral("merge_source");

bool sameFile(const QString& a, const QString& b)
{
    // Links, hard links and relative paths all come down to one inode.
    std::error_code ec;
    const bool same =
        std::filesystem::equivalent(std::filesystem::path(a.toStdString()), std::filesystem::path(b.toStdString()), ec);
    return !ec && same;
}

// A value the target column can hold; SQLite alone would take a text in a
// number column or an over-long text.
QString fits(const QString& e, const ColumnDef& c, bool key)
{
    QString test;
    switch (c.type) {
    case ColumnType::Long:
        test = QStringLiteral("typeof(%1) = 'integer' AND %1 BETWEEN -2147483648 AND 2147483647");
        break;
    case ColumnType::Short:
        test = QStringLiteral("typeof(%1) = 'integer' AND %1 BETWEEN -32768 AND 32767");
        break;
    case ColumnType::Byte:
        test = QStringLiteral("typeof(%1) = 'integer' AND %1 BETWEEN 0 AND 255");
        break;
    case ColumnType::Single:
        test = QStringLiteral("typeof(%1) IN ('integer', 'real')");
        break;
    case ColumnType::Boolean:
        test = QStringLiteral("typeof(%1) = 'integer'");
        break;
    case ColumnType::Date:
        // A modifier makes SQLite carry 30 February into March, so such a day no longer compares equal.
        test = QStringLiteral("typeof(%1) = 'text' AND date(%1, '+0 days') IS %1");
        break;
    case ColumnType::Text:
        test = QStringLiteral("typeof(%1) = 'text'");
        if (c.width > 0)
            test += QStringLiteral(" AND length(%1) <= ") + QString::number(c.width);
        break;
    }
    test = test.arg(e);
    return key ? QStringLiteral("(%1)").arg(test) : QStringLiteral("(%1 IS NULL OR %2)").arg(e, test);
}

QSet<QString> sourceColumns(QSqlDatabase& db, const QString& table)
{
    QSet<QString> names;
    QSqlQuery q(db);
    if (q.exec(QStringLiteral("PRAGMA %1.table_info(%2)").arg(kSource, quoteIdentifier(table))))
        while (q.next())
            names.insert(q.value(1).toString().toCaseFolded());
    return names;
}

qint64 scalar(QSqlDatabase& db, const QString& sql, QString* error)
{
    QSqlQuery q(db);
    if (!q.exec(sql) || !q.next()) {
        *error = q.lastError().text();
        return -1;
    }
    return q.value(0).toLongLong();
}

void mergeTable(QSqlDatabase& db, const TableDef& t, const QString& sourceName, MergeTableCount& count)
{
    const QString target = quoteIdentifier(QString::fromUtf8(t.name));
    const QString source = kSource + QLatin1Char('.') + quoteIdentifier(sourceName);
    const QSet<QString> present = sourceColumns(db, sourceName);

    QStringList columns, values, tests, keyMatch;
    for (const ColumnDef& c : t.columns) {
        const QString name = QString::fromUtf8(c.name);
        const QString value = present.contains(name.toCaseFolded()) ? QStringLiteral("s.") + quoteIdentifier(name)
                                                                    : QStringLiteral("NULL");
        bool key = false;
        for (const char* k : t.key)
            key = key || qstrcmp(k, c.name) == 0;
        columns << quoteIdentifier(name);
        values << value;
        tests << fits(value, c, key);
        if (key)
            keyMatch << QStringLiteral("t.%1 = %2").arg(quoteIdentifier(name), value);
    }

    if (!db.transaction()) {
        count.error = db.lastError().text();
        return;
    }
    count.read = scalar(db, QStringLiteral("SELECT count(*) FROM %1").arg(source), &count.error);
    if (count.read >= 0)
        count.present =
            scalar(db,
                   QStringLiteral("SELECT count(*) FROM %1 s WHERE EXISTS (SELECT 1 FROM main.%2 t WHERE %3)")
                       .arg(source, target, keyMatch.join(QLatin1String(" AND "))),
                   &count.error);
    if (count.read < 0 || count.present < 0) {
        db.rollback();
        count = MergeTableCount{count.table, 0, 0, 0, 0, count.error};
        return;
    }
    // Rows whose key is already there are ignored by the unique index.
    QSqlQuery insert(db);
    if (!insert.exec(QStringLiteral("INSERT OR IGNORE INTO main.%1 (%2) SELECT %3 FROM %4 s WHERE %5")
                         .arg(target, columns.join(QLatin1String(", ")), values.join(QLatin1String(", ")), source,
                              tests.join(QLatin1String(" AND "))))) {
        count.error = insert.lastError().text();
        db.rollback();
        count = MergeTableCount{count.table, 0, 0, 0, 0, count.error};
        return;
    }
    count.added = insert.numRowsAffected();
    insert.finish();
    if (!db.commit()) {
        count.error = db.lastError().text();
        db.rollback();
        count = MergeTableCount{count.table, 0, 0, 0, 0, count.error};
        return;
    }
    count.refused = std::max<qint64>(0, count.read - count.added - count.present);
}

void runMerge(QSqlDatabase& db, const QString& sourcePath, const MergeProgress& progress, MergeResult& result)
{
    QSqlQuery q(db);
    q.prepare(QStringLiteral("ATTACH DATABASE ? AS ") + kSource);
    q.addBindValue(QUrl::fromLocalFile(QFileInfo(sourcePath).absoluteFilePath()).toString(QUrl::FullyEncoded)
                   + QStringLiteral("?mode=ro"));
    if (!q.exec()) {
        result.fault = MergeResult::Fault::NotOurs;
        result.detail = q.lastError().text();
        return;
    }
    // A file that is not a database only shows itself on the first read.
    QStringList sourceTables;
    if (!q.exec(QStringLiteral("SELECT name FROM %1.sqlite_master WHERE type = 'table'").arg(kSource))) {
        result.fault = MergeResult::Fault::NotOurs;
        result.detail = q.lastError().text();
    } else {
        while (q.next())
            sourceTables << q.value(0).toString();
        q.finish();
        auto sourceName = [&](const char* name) {
            for (const QString& s : sourceTables)
                if (s.compare(QString::fromUtf8(name), Qt::CaseInsensitive) == 0)
                    return s;
            return QString();
        };
        if (sourceName("Programacion").isEmpty()) {
            result.fault = MergeResult::Fault::NotOurs;
        } else {
            QList<const TableDef*> tables;
            for (const TableDef& t : schemaTables())
                if (qstrcmp(t.name, "Configuracion") != 0)
                    tables << &t;
            for (int i = 0; i < tables.size(); ++i) {
                const TableDef& t = *tables[i];
                MergeTableCount count;
                count.table = QString::fromUtf8(t.name);
                if (progress)
                    progress(count.table, i, int(tables.size()));
                const QString name = sourceName(t.name);
                if (name.isEmpty())
                    count.error = QStringLiteral("no such table: %1").arg(count.table);
                else
                    mergeTable(db, t, name, count);
                result.tables << count;
            }
        }
    }
    q.exec(QStringLiteral("DETACH DATABASE ") + kSource);
}

} // namespace

bool MergeResult::complete() const
{
    if (fault != Fault::None || tables.isEmpty())
        return false;
    for (const MergeTableCount& t : tables)
        if (!t.error.isEmpty())
            return false;
    return true;
}

qint64 MergeResult::added() const
{
    qint64 n = 0;
    for (const MergeTableCount& t : tables)
        n += t.added;
    return n;
}

QString MergeResult::countsText() const
{
    QStringList lines;
    for (const MergeTableCount& t : tables)
        lines << (t.error.isEmpty() ? QStringLiteral("%1: added %2, present %3, refused %4")
                                          .arg(t.table)
                                          .arg(t.added)
                                          .arg(t.present)
                                          .arg(t.refused)
                                    : QStringLiteral("%1: not read (%2)").arg(t.table, t.error));
    return lines.join(QLatin1Char('\n'));
}

MergeResult mergeDatabase(Database& target, const QString& sourcePath, const MergeProgress& progress)
{
    MergeResult result;
    if (!QFileInfo(sourcePath).isFile()) {
        result.fault = MergeResult::Fault::Missing;
        return result;
    }
    if (sameFile(sourcePath, target.path())) {
        result.fault = MergeResult::Fault::OwnDatabase;
        return result;
    }
    // Its own connection: the source is attached read-only, which needs URI names.
    const QString name = QStringLiteral("tvq52-merge-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(target.path());
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=5000"));
        if (!db.open()) {
            result.fault = MergeResult::Fault::Missing;
            result.detail = db.lastError().text();
        } else {
            runMerge(db, sourcePath, progress, result);
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);

    if (!result.tables.isEmpty()) {
        Journal journal(target);
        if (const std::optional<qint64> entry = journal.open(JournalAction::Merge, 0, QString()))
            journal.seal(*entry, result.complete() ? QStringLiteral("completed") : QStringLiteral("failed"),
                         QFileInfo(sourcePath).absoluteFilePath(), result.countsText());
    }
    return result;
}

} // namespace tvq52
