#pragma once

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
    // itself when empty); null with `lastError` set when it cannot be prepared.
    QSqlQuery* get(const QString& sql, const QString& key = {});
    // Binds `binds` in order and runs the statement; false with `lastError` set on failure.
    bool run(QSqlQuery* query, const QVariantList& binds);

    QString lastError() const { return lastError_; }

private:
    Database& database_;
    std::map<QString, QSqlQuery> statements_;
    QString lastError_;
};

} // namespace tvq52
