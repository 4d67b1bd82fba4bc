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
// stream straight in with COPY; else their keys go first into a staging
// table, one statement names those missing and counts those there, and
// only the missing rows follow whole, through a second staging table and
// one statement that adds them unless their key came meanwhile. Both go
// with the transaction. The journal entry lists the rows added in packed
// lines, from the keys and digests kept here as the rows went.
class ServerTableMerge {
public:
    ServerTableMerge(ServerBulk& bulk, const QSqlDatabase& target, sqlite3* source, MergeFunctions& functions,
                     qint64 entry);

    // The first failure of the server itself; it stops the merge.
    DatabaseFailure failure;

    void run(const TableDef& t, const QString& sourceName, MergeTableCount& count);

private:
    bool exec(const QByteArray& sql, const std::vector<QByteArray>& params = {});
    // Where the source's rows go: straight into the table, which is empty
    // (a key found there sets storedKey_ instead of failure); their keys
    // into the keys' staging table; or whole into the staging table, only
    // those numbered in `only`.
    enum class Copy { Direct, Keys, Rows };
    bool copyRows(const TableDef& t, const QString& sourceName, MergeTableCount& count, Copy what,
                  const std::vector<qint64>* only = nullptr);
    // The n of each staged key that passes and is missing, and how many
    // that do not pass are there.
    bool findMissing(const TableDef& t, std::vector<qint64>* missing, qint64* presentMisfits);
    bool startCopy(const QByteArray& sql);
    bool isEmpty(const TableDef& t, bool* empty);
    bool addMissing(const TableDef& t);
    // Lists the `count` rows added: every staged row that passes, or those
    // whose n is in `added`.
    bool listAdded(const TableDef& t, qint64 count, std::vector<qint64> added);
    bool writeLines(const std::vector<packed_lines::Line>& lines);
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
    // The journal's key and digest of each staged row (n - 1), for the rows that pass.
    struct Listing {
        std::string keys;
        std::vector<size_t> keyEnds;
        std::vector<packed_lines::Digest> digests;
        std::vector<bool> fits;
        void add(bool fit, std::string_view key, const unsigned char* digest);
    };
    Listing listing_;
    qint64 fitting_ = 0; // staged rows that pass
    bool storedKey_ = false;
    MergeFunctions::Counts seen_; // the source's rows by how they stand against the checks
};

} // namespace tvq52
