#include "reports/recorded_range.h"

#include "db/database.h"
#include "db/store.h"

#include <QSqlError>
#include <QSqlQuery>

namespace tvq52 {

namespace {

QString q(const char* name)
{
    return quoteIdentifier(QString::fromLatin1(name));
}

} // namespace

RangeQuery rowsStartingIn(const QString& table, const QStringList& columns, qint32 serial, const QDateTime& from,
                          const QDateTime& to, SqlDialect dialect)
{
    const TableDef* def = schemaTable(table);
    RangeQuery r;
    if (!def)
        return r;
    QStringList select;
    for (const QString& c : columns) {
        // Only schema names reach the text.
        if (def->column(c))
            select << quoteIdentifier(c);
    }
    const QString date = q("DFechaInicio"), time = q("THoraInicio");
    // Date then time, so the key's index serves the range.
    r.sql = QStringLiteral(
                "SELECT %1 FROM %2 WHERE %3 = ? AND (%4 > ? OR (%4 = ? AND %5 >= ?))"
                " AND (%4 < ? OR (%4 = ? AND %5 <= ?)) ORDER BY %4, %5")
                .arg(select.isEmpty() ? QStringLiteral("*") : select.join(QLatin1String(", ")), quoteIdentifier(table),
                     q("LNumeroSerie"), date, time);
    const ColumnDef* dateDef = def->column(QStringLiteral("DFechaInicio"));
    const auto day = [&](const QDateTime& t) { return toStorage(*dateDef, t.date(), dialect); };
    const auto hhnn = [](const QDateTime& t) { return t.time().toString(QStringLiteral("HH:mm")); };
    r.binds = {serial, day(from), day(from), hhnn(from), day(to), day(to), hhnn(to)};
    return r;
}

qint64 countStartingIn(Database& database, const QString& table, qint32 serial, const QDateTime& from,
                       const QDateTime& to, QString* error)
{
    const RangeQuery r = rowsStartingIn(table, {}, serial, from, to, database.dialect());
    QString sql = r.sql;
    sql.replace(QLatin1String("SELECT *"), QLatin1String("SELECT COUNT(*)"));
    sql.truncate(sql.indexOf(QLatin1String(" ORDER BY")));
    QSqlQuery query(database.connection());
    bool ok = !r.sql.isEmpty() && query.prepare(sql);
    for (const QVariant& v : r.binds)
        query.addBindValue(v);
    ok = ok && query.exec() && query.next();
    if (!ok) {
        if (error)
            *error = query.lastError().text();
        return -1;
    }
    return query.value(0).toLongLong();
}

} // namespace tvq52
