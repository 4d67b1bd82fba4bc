#pragma once

#include "core/own_words.h"
#include "db/database.h"

#include <QString>
#include <QtGlobal>
#include <memory>

namespace tvq52::bench {

// A new, empty database of the program at `path`; a bench cannot go on without one.
inline std::unique_ptr<Database> freshDatabase(const QString& path)
{
    if (const Status created = Database::createSqlite(path); !created)
        qFatal("%s", qPrintable(untranslatedText(created.error())));
    auto db = Database::openSqlite(path);
    if (!db)
        qFatal("%s", qPrintable(untranslatedText(db.error())));
    return std::move(db).value();
}

// A step the figures depend on; a bench that measured a failure would lie.
inline void must(const Status& done)
{
    if (!done)
        qFatal("%s", qPrintable(untranslatedText(done.error())));
}

} // namespace tvq52::bench
