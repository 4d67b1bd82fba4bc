#pragma once

#include "core/error.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>
#include <map>

namespace tvq52 {

class Database;

// Statements prepared once per connection and run with bound values: a
// download runs the same few statements for every record.
class StatementCache {
public:
    explicit StatementCache(Database& database) : database_(database) {}

    // The statement for `sql`, prepared on first use under `key` (the SQL
    // itself when empty), or the database's words when it cannot be prepared.
    Result<QSqlQuery*> get(const QString& sql, const QString& key = {});
    // Binds `binds` in order and runs the statement (a lost server
    // connection is noted on the database).
    Status run(QSqlQuery& query, const QVariantList& binds);

    // Runs a statement that cannot be prepared on every backend (BEGIN,
    // COMMIT, ROLLBACK), without binds.
    Status execute(const QString& sql);

    // The database's own error behind the last failure, to tell its kind by.
    const QSqlError& lastSqlError() const { return lastError_; }

private:
    Database& database_;
    std::map<QString, QSqlQuery> statements_;
    QSqlError lastError_;
    int generation_ = 0;
};

} // namespace tvq52
