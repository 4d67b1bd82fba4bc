#pragma once

#include "db/database_failure.h"
#include "db/database_merge.h"
#include "db/merge_functions.h"
#include "db/packed_lines.h"
#include "db/schema.h"

#include <QSqlDatabase>
#include <QString>
#include <string>
#include <vector>

struct pg_conn;
struct sqlite3;

namespace tvq52 {

class ServerBulk;

// Merges the tables of a SQLite source, read through its own read-only
// connection, into a server. Each row is checked, keyed and digested here
// from SQLite's values as they are read. Into an empty table the rows
// stream whole into a staging table; else their keys go first into a
// staging table, one statement names those missing and counts those there,
// and only the missing rows follow whole. The server's store function adds
// the staged rows unless their key came meanwhile and lists those it added
// in packed lines of the journal entry, from the keys and digests made here.
// All of it goes with the transaction.
class ServerTableMerge {
public:
    ServerTableMerge(ServerBulk& bulk, const QSqlDatabase& target, sqlite3* source, MergeFunctions& functions,
                     qint64 entry);

    // The first failure of the server itself; it stops the merge.
    DatabaseFailure failure;

    void run(const TableDef& t, const QString& sourceName, MergeTableCount& count);

private:
    bool exec(const QByteArray& sql, const std::vector<QByteArray>& params = {});
    // Where the source's rows go: every row that passes whole into the
    // staging table (the target is empty); their keys into the keys'
    // staging table; or whole, only those numbered in `only`.
    enum class Copy { Direct, Keys, Rows };
    bool copyRows(const TableDef& t, const QString& sourceName, MergeTableCount& count, Copy what,
                  const std::vector<qint64>* only = nullptr);
    // The n of each staged key that passes and is missing, and how many
    // that do not pass are there.
    bool findMissing(const TableDef& t, std::vector<qint64>* missing, qint64* presentMisfits);
    bool startCopy(const QByteArray& sql);
    bool isEmpty(const TableDef& t, bool* empty);
    // Without `skipStored` a stored key sets storedKey_ instead of failure.
    bool store(const TableDef& t, bool skipStored);
    // The intervals' highest row number before the add, and the marks of
    // the nights of those added after it, for the office's overview.
    bool lastIntervalRow(const TableDef& t, qint64* row);
    bool markNights(const TableDef& t, qint64 afterRow);

    ServerBulk& bulk_;
    pg_conn* conn_;
    sqlite3* source_;
    MergeFunctions& functions_;
    qint64 entry_;
    QByteArray answer_[3];
    qint64 fitting_ = 0; // staged rows that pass
    bool storedKey_ = false;
    MergeFunctions::Counts seen_; // the source's rows by how they stand against the checks
};

} // namespace tvq52
