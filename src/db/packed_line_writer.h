#pragma once

#include "core/sha256.h"
#include "db/packed_lines.h"
#include "db/sqlite_statement.h"

#include <vector>

namespace tvq52 {

// Lists a packed line in an entry; parameters: the entry, the table, the
// first key, the last key, the packed records and their digest.
extern const char* const kJournalPackedLineSql;

// Writes a bulk path's packed journal lines into an open entry of a SQLite
// file, in the caller's transaction, and keeps the digest of the lines that
// were committed so that sealing need not read them back.
class SqlitePackedLines {
public:
    SqliteStep prepare(sqlite3* db, qint64 entry);
    // Failed when the entry is sealed or gone: nothing may be listed in it.
    SqliteStep checkOpen();
    // Stores `lines`; their place in the digest waits for committed().
    SqliteStep write(const std::vector<packed_lines::Line>& lines);
    // The transaction that wrote them was committed, or went back.
    void committed();
    void rolledBack() { pending_.clear(); }
    // The hex SHA-256 of the lines committed, in the order they were stored.
    QByteArray digest() const { return Sha256::hex(texts_); }

private:
    qint64 entry_ = 0;
    SqliteStatement open_, insert_;
    QByteArray pending_; // the line texts of the open transaction
    QByteArray texts_;   // those of the committed ones, a few hundred lines at most
};

} // namespace tvq52
