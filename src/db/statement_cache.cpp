#include "db/statement_cache.h"

#include "db/database.h"

#include <QSqlError>

namespace tvq52 {

QSqlQuery* StatementCache::get(const QString& sql, const QString& key)
{
    const QString& name = key.isEmpty() ? sql : key;
    auto found = statements_.find(name);
    if (found != statements_.end())
        return &found->second;
    QSqlQuery query(database_.connection());
    if (!query.prepare(sql)) {
        lastError_ = query.lastError().text();
        return nullptr;
    }
    return &statements_.emplace(name, std::move(query)).first->second;
}

bool StatementCache::run(QSqlQuery* query, const QVariantList& binds)
{
    if (!query)
        return false;
    for (int i = 0; i < binds.size(); ++i)
        query->bindValue(i, binds[i]);
    if (!query->exec()) {
        lastError_ = query->lastError().text();
        return false;
    }
    return true;
}

} // namespace tvq52
