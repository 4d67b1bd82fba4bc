#pragma once

#include "core/error.h"
#include "db/schema.h"

#include <QString>

class QSqlDatabase;

namespace tvq52 {

// Searches ignore case for every letter, accented capitals included. The text
// the user typed is folded here; the column is folded in SQL by the backend's
// own means, to the same result.
QString foldCase(const QString& text);

// `expression` folded in SQL: our own function on SQLite, whose LOWER() knows
// only ASCII; translate() over the letters venue texts hold on PostgreSQL,
// whose LOWER() would follow the server's locale.
QString foldedSql(SqlDialect dialect, const QString& expression);

// The LIKE pattern (escape character "\") that finds `fragment` anywhere in a
// folded text; quotes and wildcards in it are plain characters.
QString containsPattern(const QString& fragment);

// Makes the folding function known to an open SQLite connection.
Status registerCaseFolding(const QSqlDatabase& db);

} // namespace tvq52
