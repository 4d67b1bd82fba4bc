#pragma once

#include "core/error.h"
#include "core/stored_value.h"
#include "db/schema.h"
#include "db/store.h"

#include <QByteArray>
#include <QSqlDatabase>
#include <QVariantList>
#include <vector>

namespace tvq52 {

class Database;

// On a PostgreSQL server the program stores records only through functions
// of the database that run as the tables' owner and journal what they store:
// a login needs no right to write the tables themselves.
//
// tvq52_collect_store(entry, table, staging, skip_stored) adds the rows of
// the caller's temporary table `staging` marked tvq52_first, unless their
// key is stored (without skip_stored a stored key refuses them all, the
// quicker way while none is expected),
// and lists those added that carry a key (tvq52_key) and a digest
// (tvq52_digest) in packed lines of the open entry, a line for each number
// the client gave its records (tvq52_pack). It answers one row with
// a null line id and the rows added in "records", then one row per line it
// wrote, by its row number.

// The version the installed functions carry; older ones are replaced.
inline constexpr int kServerWritesVersion = 3;

// A record's values in the server's text forms, by column name, as the
// put and update functions take them.
QString serverRecordJson(const std::vector<const ColumnDef*>& columns, const QVariantList& values);

// Stores a programming save's row through the admin's put function: a row
// already there keeps the columns named in `keep`.
Status adminPut(Database& database, const TableDef& table, const Row& row, const QStringList& keep);

// The statement that calls the store function: $1 entry, $2 table, $3
// staging table, $4 whether stored keys are skipped.
QByteArray collectStoreCall();

// Gives the owner role, when the database has one, the read of a staging
// table the login made, so that the functions can read it.
QByteArray grantStageStatement(const QByteArray& stage);

// Whether the functions are there in the current version.
Result<bool> serverWritesCurrent(QSqlDatabase db);
// Creates or replaces the functions, in the caller's transaction.
Status installServerWriteFunctions(QSqlDatabase db);
// On opening a laid-out database: installs them, in a transaction of its
// own, only when they are missing or older, so that a current database
// opens without any DDL.
Status ensureServerWriteFunctions(QSqlDatabase db);

} // namespace tvq52
