#pragma once

#include <QByteArray>
#include <QString>

class QSqlError;

namespace tvq52 {

// A failure of the database itself (as opposed to a row it refuses): what
// stops an import or a merge, told to the user by its kind.
struct DatabaseFailure {
    enum class Kind { None, DiskFull, Locked, ReadOnly, DiskError, ConnectionLost, Other };
    Kind kind = Kind::None;
    QString detail; // the database's own words

    bool failed() const { return kind != Kind::None; }
};

// From a SQLite result code (primary or extended) and its message.
DatabaseFailure sqliteFailure(int code, const QString& message);
// From a failed SQLite statement run through Qt.
DatabaseFailure sqliteFailure(const QSqlError& error);
// From a failed statement run through Qt on either backend: None without an
// error, Other for a statement refused for its own sake (a value, a
// constraint), else the kind that stops a workflow. The one classifier
// every workflow tells its failures by.
DatabaseFailure databaseFailure(const QSqlError& error, bool server);
// From a PostgreSQL error: its SQLSTATE (empty when the connection broke
// before one came) and whether the connection is still up.
DatabaseFailure serverFailure(const QByteArray& sqlState, const QString& message, bool connectionUp);

// True for the SQLite codes that a row's own values cause (a constraint, a
// value of the wrong kind or size); any other failure is the database's.
bool isSqliteRowError(int code);
// True for the PostgreSQL errors that a row's values cause (data exceptions,
// integrity constraints), on a connection that is still up.
bool isServerRowError(const QByteArray& sqlState, bool connectionUp);

} // namespace tvq52
