#include "db/statement_cache.h"

#include "db/database.h"
#include "db/sql_error.h"

#include <QSqlError>

namespace tvq52 {

Result<QSqlQuery*> StatementCache::get(const QString& sql, const QString& key)
{
    const QString& name = key.isEmpty() ? sql : key;
    if (generation_ != database_.generation()) {
        // Prepared on a connection that has since been replaced.
        statements_.clear();
        generation_ = database_.generation();
    }
    auto found = statements_.find(name);
    if (found != statements_.end())
        return &found->second;
    QSqlQuery query(database_.connection());
    if (!query.prepare(sql)) {
        lastError_ = query.lastError();
        database_.noteFailure(lastError_);
        return sqlError(lastError_);
    }
    return &statements_.emplace(name, std::move(query)).first->second;
}

Status StatementCache::run(QSqlQuery& query, const QVariantList& binds)
{
    for (int i = 0; i < binds.size(); ++i)
        query.bindValue(i, binds[i]);
    if (!query.exec()) {
        lastError_ = query.lastError();
        database_.noteFailure(lastError_);
        return sqlError(lastError_);
    }
    return {};
}

Status StatementCache::execute(const QString& sql)
{
    QSqlQuery query(database_.connection());
    if (!query.exec(sql)) {
        lastError_ = query.lastError();
        database_.noteFailure(lastError_);
        return sqlError(lastError_);
    }
    return {};
}

} // namespace tvq52
