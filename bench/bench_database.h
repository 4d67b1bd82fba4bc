#pragma once

#include "db/database.h"

#include <QString>
#include <QtGlobal>
#include <memory>

namespace tvq52::bench {

// A new, empty database of the program at `path`; a bench cannot go on without one.
inline std::unique_ptr<Database> freshDatabase(const QString& path)
{
    QString error;
    std::unique_ptr<Database> db;
    if (!Database::createSqlite(path, &error) || !(db = Database::openSqlite(path, &error)))
        qFatal("%s", qPrintable(error));
    return db;
}

} // namespace tvq52::bench
