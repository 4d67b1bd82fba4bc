#include "evidence/journal_scope_sql.h"

#include "db/schema.h"
#include "db/sql_error.h"
#include "db/sqlite_statement.h"

#include <QDate>
#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>

namespace tvq52 {

QString storedRowsSql(const TableDef& table, std::optional<qint32> unit, const QString& fromKey,
                      const QString& toKey, bool server, QVariantList& binds)
{
    QStringList where;
    if (unit) {
        where << QStringLiteral("\"LNumeroSerie\" = ?");
        binds << *unit;
    }
    if (unit && !fromKey.isEmpty() && !toKey.isEmpty() && table.key.size() > 1) {
        const QString dateColumn = quoteIdentifier(QString::fromUtf8(table.key[1]));
        const QDate first = QDate::fromString(fromKey.section(QLatin1Char(' '), 1, 1), Qt::ISODate);
        const QDate after = QDate::fromString(toKey.section(QLatin1Char(' '), 1, 1), Qt::ISODate).addDays(1);
        if (first.isValid() && after.isValid()) {
            where << QStringLiteral("%1 >= ? AND %1 < ?").arg(dateColumn);
            binds << (server ? QVariant(first) : QVariant(first.toString(Qt::ISODate)))
                  << (server ? QVariant(after) : QVariant(after.toString(Qt::ISODate)));
        }
    }
    return QStringLiteral("SELECT * FROM %1").arg(quoteIdentifier(QString::fromUtf8(table.name)))
        + (where.isEmpty() ? QString() : QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND ")));
}

Result<std::optional<QString>> storedUnitTotals(QSqlDatabase db, qint32 unit)
{
    QSqlQuery q(db);
    q.prepare(
        QStringLiteral("SELECT \"LPasadasLocal\", \"LE3\", \"LCB\", \"LPasadasVecino\", \"DFechaTotales\", "
                       "\"THoraTotales\" FROM \"Programacion\" WHERE \"LNumeroSerie\" = ?"));
    q.addBindValue(unit);
    if (!q.exec())
        return sqlError(q.lastError());
    if (!q.next())
        return std::optional<QString>();
    const QVariant date = q.value(4);
    const QString readAt = (date.typeId() == QMetaType::QDate           ? date.toDate().toString(Qt::ISODate)
                                : date.typeId() == QMetaType::QDateTime ? date.toDateTime().date().toString(Qt::ISODate)
                                                                        : date.toString().left(10))
        + QLatin1Char(' ') + q.value(5).toString();
    return std::optional<QString>(
        QStringLiteral("passes-venue %1\nsensor-inactive %2\nerasures %3\npasses-neighbour %4\nread-at %5")
            .arg(q.value(0).toString(), q.value(1).toString(), q.value(2).toString(), q.value(3).toString(), readAt));
}

QString journalLineColumns(bool packed)
{
    return QStringLiteral("\"LEntrada\", \"TTabla\", \"TClave\", \"TClaveFin\", \"THuella\", %1, rowid")
        .arg(packed ? QStringLiteral("\"BRegistros\"") : QStringLiteral("NULL"));
}

Status readJournalLines(QSqlDatabase db, const QString& sql, const QVariantList& binds,
                        const std::function<void(const JournalLineRow&)>& take)
{
    JournalLineRow line;
    if (sqlite3* handle = sqliteHandle(db)) {
        SqliteStatement rows;
        SqliteStep step = rows.prepare(handle, sql);
        const auto bytes = [&rows](int i) { return QByteArray(rows.text(i), rows.bytes(i)); };
        if (!step.failed()) {
            for (int i = 0; i < binds.size(); ++i)
                rows.bind(i, binds[i]);
            while ((step = rows.step()).row()) {
                line.entry = rows.integer(0);
                line.table = bytes(1);
                line.key = bytes(2);
                line.isPacked = !rows.isNull(3);
                line.lastKey = line.isPacked ? bytes(3) : QByteArray();
                line.digest = bytes(4);
                line.packed = rows.isNull(5) ? QByteArray() : bytes(5);
                line.row = rows.integer(6);
                take(line);
            }
        }
        if (step.failed())
            return Error(0, step.message);
        return {};
    }
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(sql);
    for (const QVariant& v : binds)
        q.addBindValue(v);
    if (!q.exec())
        return sqlError(q.lastError());
    while (q.next()) {
        line.entry = q.value(0).toLongLong();
        line.table = q.value(1).toString().toUtf8();
        line.key = q.value(2).toString().toUtf8();
        line.isPacked = !q.value(3).isNull();
        line.lastKey = line.isPacked ? q.value(3).toString().toUtf8() : QByteArray();
        line.digest = q.value(4).toString().toLatin1();
        line.packed = q.value(5).toByteArray();
        line.row = q.value(6).toLongLong();
        take(line);
    }
    if (q.lastError().isValid())
        return sqlError(q.lastError());
    return {};
}

void keepLinesDigests(QSqlDatabase db, bool server, const QHash<qint64, std::pair<QByteArray, QByteArray>>& digests)
{
    // A server's sealed entries are never changed: they were sealed with it.
    if (digests.isEmpty() || server)
        return;
    QSqlQuery q(db);
    // Never wait for a writer: the next check keeps them instead.
    qint64 busyTimeout = 0;
    if (!server && q.exec(QStringLiteral("PRAGMA busy_timeout")) && q.next())
        busyTimeout = q.value(0).toLongLong();
    const bool begun = server ? q.exec(QStringLiteral("BEGIN")) && q.exec(QStringLiteral("SET LOCAL lock_timeout = 100"))
                              : q.exec(QStringLiteral("PRAGMA busy_timeout = 0")) && q.exec(QStringLiteral("BEGIN IMMEDIATE"));
    bool kept = begun;
    if (begun) {
        q.prepare(QStringLiteral("UPDATE \"Diario\" SET \"THuellaLineas\" = ? WHERE \"LId\" = ? AND \"THash\" = ? "
                                 "AND \"THuellaLineas\" IS NULL"));
        for (auto it = digests.cbegin(); kept && it != digests.cend(); ++it) {
            q.addBindValue(QString::fromLatin1(it.value().second));
            q.addBindValue(it.key());
            q.addBindValue(QString::fromLatin1(it.value().first));
            kept = q.exec();
        }
    }
    if (begun)
        (void)q.exec(kept ? QStringLiteral("COMMIT") : QStringLiteral("ROLLBACK"));
    if (!server)
        (void)q.exec(QStringLiteral("PRAGMA busy_timeout = %1").arg(busyTimeout));
}

} // namespace tvq52
