#pragma once

#include "db/database_failure.h"
#include "db/sink_row.h"

#include <QSqlDatabase>
#include <QString>
#include <QVariant>

struct sqlite3;
struct sqlite3_stmt;
struct sqlite3_value;

namespace tvq52 {

// The connection under a QSqlDatabase of SQLite; null for any other.
sqlite3* sqliteHandle(const QSqlDatabase& db);

// What SQLite answered, as a value: a row, the end, or its result code and
// message. Bulk paths run straight on SQLite: a million rows through
// QSqlQuery spend most of their time building field descriptions.
struct SqliteStep {
    enum class State { Row, Done, Failed };
    State state = State::Done;
    int code = 0; // SQLite's result code when Failed
    QString message;

    bool row() const { return state == State::Row; }
    bool done() const { return state == State::Done; }
    bool failed() const { return state == State::Failed; }
    // The row's own values were refused (a constraint, a value of the wrong
    // kind or size), not the database.
    bool rowRefused() const;
    // The failure told by its kind (full, locked, read-only...).
    DatabaseFailure databaseFailure() const;
};

// Runs `sql` (no parameters, no rows) on the connection.
SqliteStep sqliteExec(sqlite3* db, const char* sql);

// One prepared statement, finalized with the object.
class SqliteStatement {
public:
    SqliteStatement() = default;
    ~SqliteStatement();
    SqliteStatement(SqliteStatement&& other) noexcept;
    SqliteStatement& operator=(SqliteStatement&& other) noexcept;
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    // Failed with SQLite's code and message when `sql` does not prepare.
    SqliteStep prepare(sqlite3* db, const QString& sql);
    bool prepared() const { return stmt_ != nullptr; }

    // Parameters from 0; a null QVariant binds NULL, integers and Booleans
    // bind as integers, floats as doubles, anything else as text.
    void bind(int index, const QVariant& value);
    // Value `at` of `row`; a text is not copied, so the row must stay as it
    // is until the statement has run.
    void bind(int index, const SinkRow& row, size_t at);
    void bindInteger(int index, qint64 value);
    // Not copied either: `text` must outlive the run.
    void bindText(int index, std::string_view text);
    // The same for bytes kept as a BLOB.
    void bindBlob(int index, std::string_view bytes);
    SqliteStep step();
    // Ready to run again; the bindings stay.
    void reset();

    // Columns from 0, in SQLite's own types.
    QVariant column(int index) const;
    bool isNull(int index) const;
    // SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT, SQLITE_BLOB or SQLITE_NULL.
    int type(int index) const;
    qint64 integer(int index) const;
    double real(int index) const;
    // The UTF-8 text and its length in bytes.
    const char* text(int index) const;
    int bytes(int index) const;
    // Column `index` as SQLite's value, valid until the next step; only
    // for reading on the statement's own thread.
    sqlite3_value* value(int index) const;
    // The columns of its rows and their names.
    int columnCount() const;
    QString columnName(int index) const;

private:
    SqliteStep failure(int code) const;
    sqlite3* db_ = nullptr;
    sqlite3_stmt* stmt_ = nullptr;
};

} // namespace tvq52
