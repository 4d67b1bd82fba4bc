#pragma once

#include "core/error.h"
#include "db/database_failure.h"
#include "db/database_merge.h"
#include "db/merge_functions.h"
#include "db/packed_lines.h"
#include "db/schema.h"
#include "db/server_bulk.h"

#include <QSqlDatabase>
#include <QString>
#include <optional>
#include <string>
#include <vector>

struct pg_conn;
struct sqlite3;

namespace tvq52 {

// Merges the tables of a SQLite source, read through its own read-only
// connection, into a server. Each row is checked, keyed and digested here
// from SQLite's values as they are read. Into an empty table the rows
// stream whole into a staging table, stored in parts, each while the next
// is read here; else their keys go first into a
// staging table, one statement names those missing and counts those there,
// and only the missing rows follow whole. The server's store function adds
// the staged rows unless their key came meanwhile and lists those it added
// in packed lines of the journal entry, from the keys and digests made here.
// All of it goes with the transaction.
class ServerTableMerge {
public:
    ServerTableMerge(ServerBulk& bulk, const QSqlDatabase& target, sqlite3* source, MergeFunctions& functions,
                     qint64 entry);

    // Merges one table in its own transaction; `count` says what became of
    // its rows, or why the source table could not be read. An error is the
    // server's own failure, which stops the merge.
    Status run(const TableDef& t, const QString& sourceName, MergeTableCount& count);

private:
    // The rows added, nothing when the source could not be read (count.error
    // says why); `presentMisfits` the rows that do not pass whose key is there.
    Result<std::optional<qint64>> storeTable(const TableDef& t, const QString& sourceName, MergeTableCount& count,
                                             qint64& presentMisfits);
    Status exec(const QByteArray& sql, const std::vector<QByteArray>& params = {});
    // Where the source's rows go: every row that passes whole into the
    // staging table (the target is empty); their keys into the keys'
    // staging table; or whole, only those numbered in `only`. False when
    // the source could not be read.
    enum class Copy { Direct, Keys, Rows };
    Result<bool> copyRows(const TableDef& t, const QString& sourceName, MergeTableCount& count, Copy what,
                          const std::vector<qint64>* only = nullptr);
    // The n of each staged key that passes and is missing, and how many
    // that do not pass are there.
    struct Missing {
        std::vector<qint64> rows;
        qint64 presentMisfits = 0;
    };
    Result<Missing> findMissing(const TableDef& t);
    Status startCopy(const QByteArray& sql);
    Result<bool> isEmpty(const TableDef& t);
    // The rows added; nothing when, without `skipStored`, a stored key refused them.
    Result<std::optional<qint64>> store(const TableDef& t, bool skipStored);
    Result<std::optional<qint64>> storeAnswer(const ServerBulk::Answer& r, bool skipStored);
    std::vector<QByteArray> storeParams(const TableDef& t, bool skipStored) const;
    // The intervals' highest row number before the add, and the marks of
    // the nights of those added after it, for the office's overview.
    Result<qint64> lastIntervalRow(const TableDef& t);
    Status markNights(const TableDef& t, qint64 afterRow);

    ServerBulk& bulk_;
    pg_conn* conn_;
    sqlite3* source_;
    MergeFunctions& functions_;
    qint64 entry_;
    MergeFunctions::Counts seen_; // the source's rows by how they stand against the checks
    // Straight into an empty table the rows are stored in parts as they are
    // read: those added so far, and whether a part met a stored key.
    qint64 addedInParts_ = 0;
    bool partMetKey_ = false;
};

} // namespace tvq52
