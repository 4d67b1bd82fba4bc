#include "db/fleet_tables.h"

#include "db/journal_tables.h"
#include "db/sql_error.h"

#include <QSqlError>
#include <QSqlQuery>

namespace tvq52 {

namespace {

// The date the unit's night holding the interval `i` begins, NULL when the
// interval starts outside it. Times are "hh:nn" texts, which order as
// times. A night that starts one day ends the next; equal hours make a
// whole day from that hour; no night hours make the calendar day the night.
QString nightOf(SqlDialect dialect)
{
    const QString dayBefore = dialect == SqlDialect::PostgreSQL ? QStringLiteral("(i.\"DFechaInicio\" - 1)")
                                                                : QStringLiteral("date(i.\"DFechaInicio\", '-1 day')");
    return QStringLiteral(
               "CASE WHEN coalesce(p.\"THoraEmpiezaNoche\", '') = '' OR coalesce(p.\"THoraTerminaNoche\", '') = '' "
               "THEN i.\"DFechaInicio\" "
               "WHEN p.\"THoraEmpiezaNoche\" < p.\"THoraTerminaNoche\" THEN CASE WHEN i.\"THoraInicio\" >= "
               "p.\"THoraEmpiezaNoche\" AND i.\"THoraInicio\" < p.\"THoraTerminaNoche\" THEN i.\"DFechaInicio\" END "
               "WHEN i.\"THoraInicio\" >= p.\"THoraEmpiezaNoche\" THEN i.\"DFechaInicio\" "
               "WHEN i.\"THoraInicio\" < p.\"THoraTerminaNoche\" THEN %1 END")
        .arg(dayBefore);
}

// Inserts or widens the marks of the intervals `filter` picks.
QString markNightsSql(SqlDialect dialect, const QString& filter)
{
    const bool pg = dialect == SqlDialect::PostgreSQL;
    const QString any = pg ? QStringLiteral("bool_or") : QStringLiteral("max");
    return QStringLiteral(
               "INSERT INTO \"NochesExcedidas\" (\"LNumeroSerie\", \"DNoche\", \"BoLocal\", \"BoVecino\") "
               "SELECT n.serial, n.night, %1(n.venue), %1(n.neighbour) FROM (SELECT i.\"LNumeroSerie\" AS serial, "
               "%2 AS night, coalesce(i.\"IPasadasLocal\", 0) > 0 AS venue, coalesce(i.\"IPasadasVecino\", 0) > 0 "
               "AS neighbour FROM \"Intervalos\" i LEFT JOIN \"Programacion\" p ON p.\"LNumeroSerie\" = "
               "i.\"LNumeroSerie\" WHERE (i.\"IPasadasLocal\" > 0 OR i.\"IPasadasVecino\" > 0)%3) n "
               "WHERE n.night IS NOT NULL GROUP BY n.serial, n.night "
               "ON CONFLICT (\"LNumeroSerie\", \"DNoche\") DO UPDATE SET "
               "\"BoLocal\" = (\"NochesExcedidas\".\"BoLocal\" OR excluded.\"BoLocal\"), "
               "\"BoVecino\" = (\"NochesExcedidas\".\"BoVecino\" OR excluded.\"BoVecino\")")
        .arg(any, nightOf(dialect), filter);
}

} // namespace

QStringList fleetSchemaStatements(SqlDialect dialect)
{
    Q_UNUSED(dialect);
    return {
        QStringLiteral("CREATE TABLE IF NOT EXISTS \"NochesExcedidas\" (\"LNumeroSerie\" INTEGER NOT NULL, "
                       "\"DNoche\" DATE NOT NULL, \"BoLocal\" BOOLEAN, \"BoVecino\" BOOLEAN)"),
        QStringLiteral("CREATE UNIQUE INDEX IF NOT EXISTS \"PK_NochesExcedidas\" ON \"NochesExcedidas\" "
                       "(\"LNumeroSerie\", \"DNoche\")"),
        // The overview counts the nights of the last month only.
        QStringLiteral("CREATE INDEX IF NOT EXISTS \"IX_NochesExcedidasNoche\" ON \"NochesExcedidas\" (\"DNoche\")"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS \"DiarioVerificado\" (\"LNumeroSerie\" INTEGER NOT NULL, "
                       "\"TFechaHora\" TEXT, \"BoCorrecto\" BOOLEAN, \"THead\" TEXT)"),
        QStringLiteral("CREATE UNIQUE INDEX IF NOT EXISTS \"PK_DiarioVerificado\" ON \"DiarioVerificado\" "
                       "(\"LNumeroSerie\")"),
        // A unit's newest entry of one action, read without a scan.
        QStringLiteral("CREATE INDEX IF NOT EXISTS \"IX_DiarioUnidadAccion\" ON \"Diario\" "
                       "(\"LNumeroSerie\", \"TAccion\", \"LId\")"),
    };
}

Status ensureFleetTables(QSqlDatabase db, SqlDialect dialect, bool ownTransaction)
{
    const bool pg = dialect == SqlDialect::PostgreSQL;
    // Nothing to do, as on almost every open: no write lock is taken.
    Result<bool> had = tableExists(db, QStringLiteral("NochesExcedidas"), dialect);
    if (!had)
        return had.status();
    Result<bool> verified = tableExists(db, QStringLiteral("DiarioVerificado"), dialect);
    if (!verified)
        return verified.status();
    if (*had && *verified)
        return {};
    QSqlQuery q(db);
    const auto fail = [&](const Error& error) -> Status {
        if (ownTransaction)
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return error;
    };
    if (ownTransaction && !q.exec(pg ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE")))
        return sqlError(q.lastError());
    // Two programs opening a server database at once lay the tables out one
    // after the other; the second finds them there.
    if (pg && !q.exec(QStringLiteral("SELECT pg_advisory_xact_lock(5252001)")))
        return fail(sqlError(q.lastError()));
    had = tableExists(db, QStringLiteral("NochesExcedidas"), dialect);
    if (!had)
        return fail(had.error());
    for (const QString& statement : fleetSchemaStatements(dialect))
        if (!q.exec(statement))
            return fail(sqlError(q.lastError()));
    if (!*had)
        if (Status filled = refreshExceedanceNights(db, dialect); !filled)
            return fail(filled.error());
    if (ownTransaction && !q.exec(QStringLiteral("COMMIT")))
        return fail(sqlError(q.lastError()));
    return {};
}

// On a server the program's functions mark them: a login writes no table itself.
QString markIntervalNightSql(SqlDialect dialect)
{
    if (dialect == SqlDialect::PostgreSQL)
        return QStringLiteral(
            "SELECT tvq52_collect_mark_interval(CAST(? AS INTEGER), CAST(? AS DATE), CAST(? AS TEXT))");
    return markNightsSql(dialect, QStringLiteral(" AND i.\"LNumeroSerie\" = ? AND i.\"DFechaInicio\" = ? AND "
                                                 "i.\"THoraInicio\" = ?"));
}

QString markNightsAfterRowSql(SqlDialect dialect, const QString& placeholder)
{
    if (dialect == SqlDialect::PostgreSQL)
        return QStringLiteral("SELECT tvq52_collect_mark_nights_after(CAST(%1 AS BIGINT))").arg(placeholder);
    return markNightsSql(dialect, QStringLiteral(" AND i.rowid > %1").arg(placeholder));
}

QString verifiedUpsertSql(SqlDialect dialect)
{
    if (dialect == SqlDialect::PostgreSQL)
        return QStringLiteral(
            "SELECT tvq52_read_verified(CAST(? AS INTEGER), CAST(? AS TEXT), CAST(? AS BOOLEAN), CAST(? AS TEXT))");
    return QStringLiteral(
        "INSERT INTO \"DiarioVerificado\" (\"LNumeroSerie\", \"TFechaHora\", \"BoCorrecto\", \"THead\") "
        "VALUES (?, ?, ?, ?) ON CONFLICT (\"LNumeroSerie\") DO UPDATE SET \"TFechaHora\" = "
        "excluded.\"TFechaHora\", \"BoCorrecto\" = excluded.\"BoCorrecto\", \"THead\" = excluded.\"THead\"");
}

QStringList fleetServerFunctions(const QString& schema)
{
    const QString head = QStringLiteral("CREATE OR REPLACE FUNCTION %1 RETURNS void LANGUAGE sql SECURITY DEFINER "
                                        "SET search_path = %2, pg_temp AS $fn$ %3 $fn$");
    const QString revoke = QStringLiteral("REVOKE EXECUTE ON FUNCTION %1 FROM PUBLIC");
    const SqlDialect pg = SqlDialect::PostgreSQL;
    const QString interval = QStringLiteral("tvq52_collect_mark_interval(integer, date, text)");
    const QString after = QStringLiteral("tvq52_collect_mark_nights_after(bigint)");
    const QString verified = QStringLiteral("tvq52_read_verified(integer, text, boolean, text)");
    return {
        head.arg(interval, schema,
                 markNightsSql(pg, QStringLiteral(" AND i.\"LNumeroSerie\" = $1 AND i.\"DFechaInicio\" = $2 AND "
                                                  "i.\"THoraInicio\" = $3"))),
        revoke.arg(interval),
        head.arg(after, schema, markNightsSql(pg, QStringLiteral(" AND i.rowid > $1"))),
        revoke.arg(after),
        head.arg(verified, schema,
                 QStringLiteral("INSERT INTO \"DiarioVerificado\" (\"LNumeroSerie\", \"TFechaHora\", \"BoCorrecto\", "
                                "\"THead\") VALUES ($1, $2, $3, $4) ON CONFLICT (\"LNumeroSerie\") DO UPDATE SET "
                                "\"TFechaHora\" = excluded.\"TFechaHora\", \"BoCorrecto\" = excluded.\"BoCorrecto\", "
                                "\"THead\" = excluded.\"THead\"")),
        revoke.arg(verified),
    };
}

Status markNightsAfterRow(QSqlDatabase db, SqlDialect dialect, qint64 afterRow)
{
    QSqlQuery q(db);
    if (!q.prepare(markNightsAfterRowSql(dialect)))
        return sqlError(q.lastError());
    q.addBindValue(afterRow);
    if (!q.exec())
        return sqlError(q.lastError());
    return {};
}

Status refreshExceedanceNights(QSqlDatabase db, SqlDialect dialect, const std::optional<QList<qint32>>& serials)
{
    if (serials && serials->isEmpty())
        return {};
    QSqlQuery q(db);
    QString filter;
    if (serials)
        filter = QStringLiteral(" AND i.\"LNumeroSerie\" IN (%1)")
                     .arg(QStringList(serials->size(), QStringLiteral("?")).join(QLatin1Char(',')));
    if (!q.prepare(markNightsSql(dialect, filter)))
        return sqlError(q.lastError());
    if (serials)
        for (qint32 serial : *serials)
            q.addBindValue(serial);
    if (!q.exec())
        return sqlError(q.lastError());
    return {};
}

} // namespace tvq52
