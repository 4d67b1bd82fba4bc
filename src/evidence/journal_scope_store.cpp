#include "evidence/journal_scope_sql.h"

#include "db/schema.h"
#include "db/sql_error.h"

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

} // namespace tvq52
