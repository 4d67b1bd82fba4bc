#pragma once

#include "db/row_sink.h"
#include "db/packed_line_writer.h"
#include "db/packed_lines.h"
#include "db/sqlite_statement.h"

namespace tvq52 {

// Rows into a SQLite file: each inserted unless its key is stored (the
// engine's own conflict handling, so that a new row costs one statement),
// in transactions of `batchRows` added rows. The rows added are listed in
// packed journal lines written just before each commit, in the same
// transaction. Only a row whose key was there is read back, to compare.
class SqliteRowSink final : public RowSink {
public:
    SqliteRowSink(sqlite3* db, int batchRows) : db_(db), batchRows_(batchRows) {}
    ~SqliteRowSink() override;

    bool prepare(const std::vector<SinkTable>& tables, qint64 entry) override;
    bool begin() override;
    void addRow(size_t table, qint64 line, const SinkRow& row) override;
    void finish(qint64 line) override;
    Status listAdded() override { return Status(); }
    QByteArray listedLines() override { return lines_.digest(); }

private:
    struct Table {
        SinkTable def;
        QByteArray name;
        SqliteStatement find;
        SqliteStatement insert;
        std::unique_ptr<RowDigest> digest;
        bool lookFirst = false; // the last row's key was stored
    };
    bool prepareTable(const SinkTable& def);
    // The database failed at `line`: the open batch goes back, and with it its counts.
    void fail(const SqliteStep& step, qint64 line);
    bool exec(const char* sql, qint64 line);
    bool commit(qint64 line);
    // Whether the row was added; false when its key was there (counted),
    // it was refused, or the database failed.
    bool insert(size_t table, qint64 line, const SinkRow& row);
    // Counts a row whose key is stored as present or differing; false when
    // the key is not stored.
    bool countPresent(size_t table, qint64 line, const SinkRow& row);
    bool sameAsStored(const Table& t, const SinkRow& row) const;
    void list(Table& t, const SinkRow& row);
    // The batch's lines into the entry, which must still be open.
    bool writeLines(qint64 line);

    sqlite3* db_;
    int batchRows_;
    qint64 entry_ = 0;
    std::vector<Table> tables_;
    packed_lines::Packer packer_;
    SqlitePackedLines lines_;
    qint64 inBatch_ = 0;
    // What the last commit made final, to go back to when the next one fails.
    std::vector<SinkCounts> committed_;
    qint64 committedAdded_ = 0;
    // The connection's page cache and checkpoint interval, given back at the end.
    qint64 cacheSize_ = 0, checkpointPages_ = 0;
};

} // namespace tvq52
