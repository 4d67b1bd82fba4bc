#pragma once

#include "db/row_sink.h"
#include "db/sqlite_statement.h"

namespace tvq52 {

// Rows into a SQLite file: each looked up by its key and inserted when
// missing, listed in the journal as it is added, in transactions of
// `batchRows` added rows.
class SqliteRowSink final : public RowSink {
public:
    SqliteRowSink(sqlite3* db, int batchRows) : db_(db), batchRows_(batchRows) {}

    bool prepare(const std::vector<SinkTable>& tables, Journal& journal, qint64 entry) override;
    bool begin() override;
    void add(size_t table, qint64 line, const QVariantList& values) override;
    void finish(qint64 line) override;
    Status listAdded() override { return Status(); }

private:
    struct Table {
        SinkTable def;
        QString name;
        SqliteStatement find;
        SqliteStatement insert;
    };
    // The database failed at `line`: the open batch goes back, and with it its counts.
    void fail(const SqliteStep& step, qint64 line);
    bool exec(const char* sql, qint64 line);
    bool commit(qint64 line);
    // False when the row was not stored (refused or failed).
    bool insert(size_t table, qint64 line, const QVariantList& values);

    sqlite3* db_;
    int batchRows_;
    Journal* journal_ = nullptr;
    qint64 entry_ = 0;
    std::vector<Table> tables_;
    qint64 inBatch_ = 0;
    // What the last commit made final, to go back to when the next one fails.
    std::vector<SinkCounts> committed_;
    qint64 committedAdded_ = 0;
};

} // namespace tvq52
