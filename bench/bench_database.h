#pragma once

#include "core/own_words.h"
#include "db/database.h"
#include "db/merge_functions.h"
#include "db/schema.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <sqlite3.h>
#include <vector>

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

// What the journal costs a bulk path that stored `rows` rows of `table`
// into the SQLite file at `path` in `seconds`: the bytes of its lines
// (table and indexes) per row stored, and the share of the time that the
// journal's own work takes again on the file: every stored row's key and
// digest made from its values, and the lines inserted from themselves in a
// transaction rolled back.
inline bool printSqliteJournalShare(const QString& path, const char* table, qint64 rows, double seconds)
{
    sqlite3* db = nullptr;
    const std::unique_ptr<sqlite3, int (*)(sqlite3*)> closer(
        sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK ? db : nullptr,
        sqlite3_close);
    sqlite3_stmt* q = nullptr;
    auto one = [&](const QString& sql, double* value) {
        bool ok = sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &q, nullptr) == SQLITE_OK;
        ok = ok && sqlite3_step(q) != SQLITE_ERROR;
        if (ok && value)
            *value = sqlite3_column_double(q, 0);
        sqlite3_finalize(q);
        return ok;
    };
    double bytes = 0;
    if (!closer
        || !one(QStringLiteral("SELECT coalesce(sum(pgsize), 0) FROM dbstat WHERE name IN "
                               "(SELECT name FROM sqlite_master WHERE tbl_name = 'DiarioRegistros')"),
                &bytes))
        return false;
    const TableDef& t = *schemaTable(QString::fromLatin1(table));
    QStringList columns, keys;
    for (const ColumnDef& c : t.columns)
        columns << quoteIdentifier(QString::fromUtf8(c.name));
    for (const char* k : t.key)
        keys << quoteIdentifier(QString::fromUtf8(k));
    MergeFunctions functions;
    std::vector<sqlite3_value*> values(t.columns.size() + t.key.size());
    QElapsedTimer timer;
    timer.start();
    if (sqlite3_prepare_v2(db,
                           QStringLiteral("SELECT %1, %2 FROM %3")
                               .arg(columns.join(QLatin1Char(',')), keys.join(QLatin1Char(',')),
                                    quoteIdentifier(QString::fromUtf8(t.name)))
                               .toUtf8()
                               .constData(),
                           -1, &q, nullptr)
        != SQLITE_OK)
        return false;
    std::size_t made = 0;
    while (sqlite3_step(q) == SQLITE_ROW) {
        for (std::size_t i = 0; i < values.size(); ++i)
            values[i] = sqlite3_column_value(q, int(i));
        char hex[64];
        functions.digest(t, values.data(), hex);
        made += std::size_t(hex[0]) + functions.keyText(t, values.data() + t.columns.size()).size();
    }
    sqlite3_finalize(q);
    const double digests = double(timer.nsecsElapsed()) / 1e9;
    const QString lineColumns =
        QStringLiteral("\"LEntrada\", \"TTabla\", \"TClave\", \"TClaveFin\", \"THuella\", \"BRegistros\"");
    timer.restart();
    const bool stored = one(QStringLiteral("BEGIN"), nullptr)
        && one(QStringLiteral("INSERT INTO \"DiarioRegistros\" (%1) SELECT %1 FROM \"DiarioRegistros\"").arg(lineColumns),
               nullptr);
    const double insert = double(timer.nsecsElapsed()) / 1e9;
    one(QStringLiteral("ROLLBACK"), nullptr);
    if (!stored || made == 0)
        return false;
    std::printf("  journal: %.1f%% of the time (keys and digests %.2f s, its lines stored again %.2f s), "
                "%.1f bytes per stored row\n",
                100.0 * (digests + insert) / std::max(0.001, seconds), digests, insert,
                bytes / double(std::max<qint64>(1, rows)));
    std::fflush(stdout);
    return true;
}

} // namespace tvq52::bench
