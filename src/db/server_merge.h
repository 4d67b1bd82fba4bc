#pragma once

#include "db/database_failure.h"
#include "db/database_merge.h"
#include "db/packed_lines.h"
#include "db/schema.h"

#include <QSqlDatabase>
#include <QString>
#include <string>
#include <vector>

struct pg_conn;
struct sqlite3;

namespace tvq52 {

class MergeFunctions;
class ServerBulk;

// Merges the tables of a SQLite source, read through its own read-only
// connection (with the merge functions registered on it), into a server: a
// table's rows stream over with COPY into a staging table that goes with the
// transaction, and one statement adds what is missing, counts what was there
// and names what it added when not all; the journal entry lists the rows
// added in packed lines, from the keys and digests kept here as the rows went.
class ServerTableMerge {
public:
    ServerTableMerge(ServerBulk& bulk, const QSqlDatabase& target, sqlite3* source, MergeFunctions& functions,
                     qint64 entry);

    // The first failure of the server itself; it stops the merge.
    DatabaseFailure failure;

    void run(const TableDef& t, const QString& sourceName, MergeTableCount& count);

private:
    bool exec(const QByteArray& sql, const std::vector<QByteArray>& params = {});
    bool copyRows(const TableDef& t, const QString& sourceName, MergeTableCount& count);
    bool startCopy();
    bool addMissing(const TableDef& t);
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
        void add(bool fit, const char* key, int keySize, const char* hex, int hexSize);
    };
    Listing listing_;
    qint64 fitting_ = 0; // staged rows that pass
};

} // namespace tvq52
