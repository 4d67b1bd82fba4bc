#pragma once

#include "core/error.h"
#include "db/schema.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <optional>

namespace tvq52 {

// The office tables the fleet overview reads instead of the record tables:
// "NochesExcedidas" (a unit's nights with a limit passed, by the date the
// night begins) kept up to date as intervals are stored, and
// "DiarioVerificado" (each unit's journal as last verified).
QStringList fleetSchemaStatements(SqlDialect dialect = SqlDialect::SQLite);

// Makes the office tables a database lacks. A database that already holds
// intervals has its nights filled once, from what is stored, in the same
// transaction. `ownTransaction`: false when the caller has one open.
Status ensureFleetTables(QSqlDatabase db, SqlDialect dialect, bool ownTransaction = true);

// Marks the night of one stored interval (when it has passes and begins
// inside the unit's night); binds: serial, start date as stored, start time.
// A mark stays when the interval is rewritten with no passes: the unit did
// report them once, and the overview is a reminder, not a record.
QString markIntervalNightSql(SqlDialect dialect);

// Marks the nights of the intervals numbered after a row (SQLite's rowid,
// the server's row number): what a bulk add has just written, in its own
// transaction. `placeholder` binds that row ("?", or "$1" for libpq).
QString markNightsAfterRowSql(SqlDialect dialect, const QString& placeholder = QStringLiteral("?"));

// Stores a unit's verify outcome; binds: serial, time, whether it verified, the journal's head.
QString verifiedUpsertSql(SqlDialect dialect);

// The server's functions that write these tables for a login, in `schema`.
QStringList fleetServerFunctions(const QString& schema);

// Runs markNightsAfterRowSql, in the caller's transaction when one is open.
Status markNightsAfterRow(QSqlDatabase db, SqlDialect dialect, qint64 afterRow);

// Marks, in one statement, the nights of every stored interval of `serials`
// (of all units when none are given): after imports and merges, which add
// intervals in bulk. Runs in the caller's transaction when one is open.
Status refreshExceedanceNights(QSqlDatabase db, SqlDialect dialect,
                               const std::optional<QList<qint32>>& serials = std::nullopt);

} // namespace tvq52
