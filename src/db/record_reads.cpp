#include "db/record_reads.h"

#include "db/database.h"
#include "db/schema.h"

#include <QHash>
#include <QSqlError>
#include <QSqlQuery>

namespace tvq52 {

namespace {

Error readFailure(const Database& database, const QSqlError& error)
{
    const auto kind = databaseFailure(error, database.isServer()).kind;
    return databaseError(kind == DatabaseFailure::Kind::None ? DatabaseFailure::Kind::Other : kind, error.text());
}

} // namespace

Result<QVariantList> newestRecordStart(Database& database, const QString& table, qint32 serial,
                                       const std::optional<QDateTime>& before)
{
    // Walks the key index backwards: one row read however many are stored.
    QSqlQuery query(database.connection());
    query.setForwardOnly(true);
    const QString older = before ? QStringLiteral(
                              " AND (\"DFechaInicio\" < ? OR (\"DFechaInicio\" = ? AND "
                              "\"THoraInicio\" < ?))")
                                 : QString();
    query.prepare(QStringLiteral("SELECT \"DFechaInicio\", \"THoraInicio\" FROM \"%1\" WHERE "
                                 "\"LNumeroSerie\" = ?%2 ORDER BY \"DFechaInicio\" DESC, \"THoraInicio\" DESC LIMIT 1")
                      .arg(table, older));
    query.addBindValue(serial);
    if (before) {
        const QString date = before->date().toString(Qt::ISODate);
        query.addBindValue(date);
        query.addBindValue(date);
        query.addBindValue(before->time().toString(QStringLiteral("hh:mm")));
    }
    if (!query.exec())
        return readFailure(database, query.lastError());
    if (!query.next())
        return QVariantList();
    return QVariantList{query.value(0), query.value(1)};
}

namespace {

// A "dd/mm/yyyy" text orders as "yyyymmdd".
bool isDayMonthYearText(const QString& field)
{
    return field.startsWith(QLatin1String("TFecha"), Qt::CaseInsensitive);
}

QString orderTerm(const QString& field, bool descending)
{
    const QString q = quoteIdentifier(field);
    const QString expr = isDayMonthYearText(field)
        ? QStringLiteral("(SUBSTR(%1, 7, 4) || SUBSTR(%1, 4, 2) || SUBSTR(%1, 1, 2))").arg(q)
        : q;
    return expr + (descending ? QLatin1String(" DESC") : QLatin1String(" ASC"));
}

} // namespace

Result<std::vector<qint64>> recordRowIds(Database& database, const QString& tableName, qint32 serial,
                                         const QStringList& keys, bool descending)
{
    const TableDef* table = schemaTable(tableName);
    QStringList terms;
    for (const QString& key : keys) {
        // Only schema columns reach the query text.
        if (!table || !table->column(key))
            return databaseError(DatabaseFailure::Kind::Other, QStringLiteral("%1 has no column %2").arg(tableName, key));
        terms << orderTerm(key, descending);
    }
    // The start is the table's key; other orders keep ties in a fixed order.
    if (keys != QStringList{QStringLiteral("DFechaInicio"), QStringLiteral("THoraInicio")})
        terms << (descending ? QStringLiteral("rowid DESC") : QStringLiteral("rowid ASC"));
    QSqlQuery q(database.connection());
    q.setForwardOnly(true);
    bool ok =
        q.prepare(QStringLiteral("SELECT rowid FROM %1 WHERE %2 = ? ORDER BY %3")
                      .arg(quoteIdentifier(tableName), quoteIdentifier(QStringLiteral("LNumeroSerie")), terms.join(QLatin1String(", "))));
    if (ok) {
        q.addBindValue(serial);
        ok = q.exec();
    }
    std::vector<qint64> ids;
    while (ok && q.next())
        ids.push_back(q.value(0).toLongLong());
    if (!ok)
        return readFailure(database, q.lastError());
    return ids;
}

Result<std::vector<QVector<QVariant>>> recordRowsById(Database& database, const QString& tableName,
                                                      const QStringList& columns, const std::vector<qint64>& ids)
{
    const TableDef* table = schemaTable(tableName);
    QStringList fields;
    for (const QString& c : columns) {
        if (!table || !table->column(c))
            return databaseError(DatabaseFailure::Kind::Other, QStringLiteral("%1 has no column %2").arg(tableName, c));
        fields << quoteIdentifier(c);
    }
    std::vector<QVector<QVariant>> rows(ids.size());
    if (ids.empty())
        return rows;
    QSqlQuery q(database.connection());
    q.setForwardOnly(true);
    const QString marks = QStringList(qsizetype(ids.size()), QStringLiteral("?")).join(QLatin1Char(','));
    if (!q.prepare(QStringLiteral("SELECT rowid, %1 FROM %2 WHERE rowid IN (%3)")
                       .arg(fields.join(QLatin1String(", ")), quoteIdentifier(tableName), marks)))
        return readFailure(database, q.lastError());
    QHash<qint64, std::size_t> slot;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        q.addBindValue(ids[i]);
        slot.insert(ids[i], i);
    }
    if (!q.exec())
        return readFailure(database, q.lastError());
    while (q.next()) {
        const auto at = slot.constFind(q.value(0).toLongLong());
        if (at == slot.constEnd())
            continue;
        QVector<QVariant>& values = rows[*at];
        values.reserve(columns.size());
        for (qsizetype c = 0; c < columns.size(); ++c)
            values << q.value(int(c) + 1);
    }
    return rows;
}

} // namespace tvq52
