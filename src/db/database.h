#pragma once

#include "db/schema.h"

#include <QSqlDatabase>
#include <QString>
#include <memory>

namespace tvq52 {

// One open connection to the program's database. The connection closes and
// unregisters when the object goes.
class Database {
public:
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens an existing SQLite file; a missing file is an error, never a new
    // empty database. On failure returns null and sets `error`.
    static std::unique_ptr<Database> openSqlite(const QString& path, QString* error);
    // Writes a new database file with every table and the one settings row.
    static bool createSqlite(const QString& path, QString* error);

    QSqlDatabase connection() const { return QSqlDatabase::database(name_, false); }
    SqlDialect dialect() const { return dialect_; }
    QString path() const { return path_; }

    // Empty when every table and column is there; else what is missing.
    QString verifySchema() const;

private:
    Database(QString name, QString path, SqlDialect dialect);
    QString name_;
    QString path_;
    SqlDialect dialect_;
};

} // namespace tvq52
