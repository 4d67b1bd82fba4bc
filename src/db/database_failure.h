#pragma once

#include "core/error.h"
#include "db/database_target.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

class QSqlError;

namespace tvq52 {

// A failure of the database itself (as opposed to a row it refuses): what
// stops opening the records, a download, an import or a merge, told to the
// user by its kind. The one vocabulary of database failures.
struct DatabaseFailure {
    enum class Kind : std::uint8_t {
        None,
        // Reaching a server.
        Unreachable,    // no server answers at that address
        Authentication, // wrong user or password, or the server refuses this PC
        NoDatabase,     // the server has no database of that name
        NotUtf8,        // the database is not UTF-8: accents would not survive
        // Using the records.
        ConnectionLost, // the server went away; what was committed stays
        DiskFull,       // no room left for the database
        Locked,         // another program kept the database locked past the wait
        ReadOnly,       // the database (or its folder) cannot be written
        DiskError,      // the database file could not be read or written
        UnitGone,       // the unit's Programacion row is no longer there
        Other,          // anything else: the database refused it (the detail says why)
        // The login may not do this: the server refused it (SQLSTATE 42501), or
        // the program did before starting. The detail names the level needed
        // ("read", "collect", "admin") or holds the server's words.
        PermissionDenied,
    };
    Kind kind = Kind::None;
    QString detail; // the database's own words

    bool failed() const { return kind != Kind::None; }
};

// A database failure travels in an Error whose catalogueId is this plus its
// kind (past the catalogue, so never read as a catalogue text); its detail
// is the database's own words. Such an Error is worded by toldFailure.
inline constexpr int kDatabaseFailureIds = 9100;
Error databaseError(DatabaseFailure::Kind kind, const QString& detail);
Error databaseError(const DatabaseFailure& failure);
// The failure an Error carries; Other with the Error's words for any other Error.
DatabaseFailure databaseFailureOf(const Error& error);

// Where a failure is told, which decides its words: on opening the records;
// at the end of a download (what was stored stays, the unit keeps the rest);
// as the cause inside an import's or a merge's own sentence.
enum class FailureWording { Opening, Download, Cause };

// What the words name besides the database's own: the database, the data
// folder, the unit a download was storing.
struct FailureSubject {
    DatabaseTarget database;
    QString folder;
    qint32 unit = 0;
};

// The failure as the Error to show: the native words of the one wording
// table (translated where it is shown), its catalogueId still telling the
// kind. A kind without words of its own for `as` takes Other's. Told as a
// Cause, the text is the bare cause and the detail is kept for the sentence
// that holds it.
Error toldFailure(const DatabaseFailure& failure, FailureWording as, const FailureSubject& subject = {});
// Whether the table has words of its own for `kind` told `as`.
bool hasOwnWords(DatabaseFailure::Kind kind, FailureWording as);

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
// From libpq's words when a connection could not be made (it speaks English
// to us: no translations are installed for it).
DatabaseFailure::Kind connectFailure(const QString& text);

// True for the SQLite codes that a row's own values cause (a constraint, a
// value of the wrong kind or size); any other failure is the database's.
bool isSqliteRowError(int code);
// True for the PostgreSQL errors that a row's values cause (data exceptions,
// integrity constraints), on a connection that is still up.
bool isServerRowError(const QByteArray& sqlState, bool connectionUp);

} // namespace tvq52
