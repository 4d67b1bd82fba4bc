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
//
// Records go straight through SQLite too: the unit waits for the commit
// before its ACK, and QSqlQuery spends more on binding a record's values and
// reading its row back than SQLite spends storing it. The write lock is
// taken as a put's transaction opens, then the unit and the key are looked
// up under it.
class SqliteRowSink final : public RowSink {
public:
    // Batches go to the connection open now; records to the one of the moment.
    SqliteRowSink(Database& database, int batchRows);
    ~SqliteRowSink() override;

    Status prepare(const std::vector<SinkTable>& tables, qint64 entry) override;
    Status begin() override;
    void addRow(size_t table, qint64 line, const SinkRow& row) override;
    void finish(qint64 line) override;
    Status listAdded() override { return Status(); }
    QByteArray listedLines() override { return lines_.digest(); }

    Result<KeyedWrite> put(qint32 serial, const QString& table, const Row& row, bool marksNight,
                           const Listing& list) override;
    Status updateUnit(qint32 serial, const Row& values) override;
    void mergeFile(const QString& sourcePath, qint64 entry, MergeResult& result, const MergeProgress& progress,
                   const MergeStop& stop) override;

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

    // The keyed writes' statements for one shape of record.
    struct Shape : RecordShape {
        QString find, upsert, upsertReturningRow;
        SqliteStatement fileFind, fileUpsert, fileUpsertReturningRow;
        // The columns of the row the upsert hands back.
        std::vector<const ColumnDef*> returned;
    };
    static Shape makeShape(RecordShape shape);
    // The statements on the current connection, made again when it was replaced.
    Status prepareShape(Shape& s, bool returningRow);
    Status prepared(SqliteStatement& statement, const QString& sql);
    // The steps inside the open transaction, its commit included.
    Result<KeyedWrite> written(Shape& s, const QVariantList& values, qint32 serial, bool marksNight,
                               const Listing& list);
    Status unitStored(qint32 serial);
    Result<bool> found(Shape& s, const QVariantList& values);
    Status markedNight(const Shape& s, const QVariantList& values);

    Database& database_;
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

    // The connection the keyed statements were prepared on.
    sqlite3* connection_ = nullptr;
    SqliteStatement begin_, commit_, rollback_, unit_, night_;
    RecordShapes<Shape> shapes_;
};

} // namespace tvq52
