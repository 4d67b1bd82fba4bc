#pragma once

#include "core/error.h"
#include "db/schema.h"

#include <QString>
#include <optional>

namespace tvq52 {

// Where the records live: the data folder's SQLite file, or an office's
// PostgreSQL server. Written as a connection URI in the settings file and on
// the command line; a password is never part of it (anyone can read both).
struct DatabaseTarget {
    SqlDialect dialect = SqlDialect::SQLite;
    QString path; // SQLite: the file
    QString host; // PostgreSQL: name, address, or a socket folder ("/run/postgresql")
    int port = 5432;
    QString database; // PostgreSQL: the database name
    QString user;     // empty: the login name
    QString options;  // further libpq settings, "key=value;key=value" (sslmode, connect_timeout)

    static DatabaseTarget sqlite(const QString& path);
    // Reads "postgresql://user@host:port/database?sslmode=require"; the host may
    // be percent-encoded or given as ?host=/socket/folder. Refuses a password.
    static Result<DatabaseTarget> fromUri(const QString& uri);
    // The URI, without a password; empty for SQLite.
    QString uri() const;
    // What the user is shown: the file, or "user@host:port/database".
    QString displayName() const;
    bool isServer() const { return dialect == SqlDialect::PostgreSQL; }
    bool operator==(const DatabaseTarget&) const = default;
};

} // namespace tvq52
