#pragma once

#include "core/error.h"
#include "db/database_target.h"
#include "db/schema.h"
#include "db/server_rights.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace tvq52 {

// Asks for the password of `target`'s user when neither ~/.pgpass nor
// PGPASSWORD gives one; nothing when the user cancels. It is kept in memory only.
using PasswordSource = std::function<std::optional<QString>(const DatabaseTarget& target)>;

// What a server database holds of ours.
enum class SchemaState {
    Ready,   // every table with its columns
    Empty,   // none of our tables (other tables may be there)
    Partial, // some of our tables, as we make them; the rest can be laid out
    Foreign, // a table of one of our names with other columns: not ours to touch
};

// How a command uses the records: a reading one opens them read-only, so
// that it works on a folder it cannot write (a backup on a read-only disk).
enum class DatabaseAccess { ReadWrite, ReadOnly };

// One open connection to the program's database. The connection closes and
// unregisters when the object goes.
class Database {
public:
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens an existing SQLite file; a missing file is an error, never a new
    // empty database. Read-only, nothing is written, the file's log included.
    static Result<std::unique_ptr<Database>> openSqlite(const QString& path,
                                                        DatabaseAccess access = DatabaseAccess::ReadWrite);
    // Whether the file and its folder can be written (SQLite writes its log
    // and its shared memory beside the file).
    static bool canWrite(const QString& path);
    // Writes a new database file with every table and the one settings row.
    static Status createSqlite(const QString& path);
    // Connects to a PostgreSQL database; the password comes from libpq's own
    // sources first, then from `askPassword` (given up to three tries). A
    // failure is a database failure (databaseFailureOf tells its kind:
    // Unreachable, Authentication, NoDatabase, NotUtf8 or Other).
    static Result<std::unique_ptr<Database>> openServer(const DatabaseTarget& target, const PasswordSource& askPassword);
    // Either of the above by the target's kind.
    static Result<std::unique_ptr<Database>> open(const DatabaseTarget& target, const PasswordSource& askPassword);

    QSqlDatabase connection() const { return QSqlDatabase::database(name_, false); }
    SqlDialect dialect() const { return target_.dialect; }
    bool isServer() const { return target_.isServer(); }
    bool readOnly() const { return access_ == DatabaseAccess::ReadOnly; }
    const DatabaseTarget& target() const { return target_; }
    // The SQLite file; empty for a server.
    QString path() const { return target_.path; }
    // Where this PC's settings row is kept: the data folder's own file, which
    // is this database unless the records are on a server. `local` must
    // outlive this object.
    Database& settingsDatabase() { return settings_ ? *settings_ : *this; }
    void setSettingsDatabase(Database* local) { settings_ = local; }

    // What the login may do, as the server last said (askRight): asked on
    // opening and again by checkRight before each operation that writes.
    Right right() const { return right_; }
    void noteRight(Right right) { right_ = right; }

    // Folds the write-ahead log into the file and empties it, which gives
    // back its room on a full disk; false when another connection kept it
    // from finishing. Nothing to do on a server.
    bool foldLog();

    // Empty when every table and column is there; else what is missing.
    QString verifySchema() const;
    // On a server: what it holds of ours; `detail` names the missing or
    // foreign tables.
    SchemaState inspectSchema(QString* detail = nullptr) const;
    // Creates the tables (and the journal's) that a server database lacks, in
    // one transaction; never touches a table that is there. On a database
    // with office roles what it makes belongs to the owner role.
    Status layOutSchema();
    // The same work in the caller's transaction, as the connection's login.
    Status layOutSchemaInTransaction();
    // Whether the server database was laid out by this version of the
    // program or a later one: one catalogue read, so that opening it needs
    // no right to create anything.
    bool schemaCurrent() const;

    // A failed statement whose error says the server went away marks the
    // connection lost; the next `reconnect()` or `ensureConnected()` opens a
    // new one. Statements prepared before then belong to the old connection:
    // `generation()` tells them apart.
    void noteFailure(const QSqlError& error);
    bool connectionLost() const { return lost_; }
    int generation() const { return generation_; }
    // Opens the server connection again with the same settings and password.
    Status reconnect();
    // Reconnects when the connection was seen lost or no longer answers;
    // fails while the server is still away.
    Status ensureConnected();

private:
    Database(QString name, DatabaseTarget target);
    Status prepareSession();
    QString name_;
    DatabaseTarget target_;
    bool lost_ = false;
    int generation_ = 0;
    DatabaseAccess access_ = DatabaseAccess::ReadWrite;
    Database* settings_ = nullptr;
    Right right_ = Right::Admin;
};

// The names of our tables on a server, the journal's and the office's included.
QStringList serverTableNames();
// What every session with a server sets first.
const std::vector<QByteArray>& serverSessionSettings();

// True for the errors of a server that went away or a connection that broke
// (as opposed to a statement the server refused).
bool isConnectionLoss(const QSqlError& error);

} // namespace tvq52
