#pragma once

#include "db/batch_keys.h"
#include "db/row_sink.h"
#include "db/server_bulk.h"
#include "db/server_copy.h"
#include "db/statement_cache.h"

#include <QSqlDatabase>
#include <memory>
#include <string>
#include <optional>

namespace tvq52 {

// Rows into a PostgreSQL server go in batches, each its own transaction,
// streamed by COPY into a staging table while the file is read, each key's
// first row with its journal key and digest made here. The server's store
// function adds them unless their key is stored and writes the journal's
// packed lines of those it added. While no key of a batch was stored it is
// only that; the first batch that meets a stored key and the batches after
// it also count, in the same statement, the staged rows whose stored row
// differs. The server stores each batch while the next one is read and,
// on a second session of the same login, copied: the batches take turns
// between the two sessions, each with its own staging table, and are
// stored and committed one after the other, in the file's order. A batch
// with a row the server refuses for its values is written again row by
// row, so that only that row is refused.
//
// Records go through the program's functions: the put function writes the
// record holding the unit's row (FOR SHARE), tells an inserted row from an
// updated one and writes nothing when the unit is gone, in one round trip.
// A record without a journal line or a night to mark is that one statement,
// atomic by itself; the others open a transaction around it.
class ServerRowSink final : public RowSink {
public:
    ServerRowSink(Database& database, int batchRows);

    // Whether batches can be written: the connection is an open PostgreSQL one.
    bool valid() const { return bulk_.valid(); }
    Status prepare(const std::vector<SinkTable>& tables, qint64 entry) override;
    Status begin() override { return {}; }
    void addRow(size_t table, qint64 line, const SinkRow& row) override;
    void finish(qint64 line) override;
    Status listAdded() override { return Status(); }
    QByteArray listedLines() override { return lines_.result().toHex(); }

    Result<KeyedWrite> put(qint32 serial, const QString& table, const Row& row, bool marksNight,
                           const Listing& list) override;
    Status updateUnit(qint32 serial, const Row& values) override;
    void mergeFile(const QString& sourcePath, qint64 entry, MergeResult& result, const MergeProgress& progress,
                   const MergeStop& stop) override;

private:
    struct Table {
        SinkTable def;
        QByteArray name;
        std::unique_ptr<ServerCopyTable> copy;
        std::unique_ptr<RowDigest> digest;
        bool staged[2] = {false, false}; // its staging table is made, in each session
    };
    struct Pending {
        qint64 line = 0;
        SinkRow row;
        qint64 first = -1; // the batch's first row of its key, when another one
    };

    // Sessions: 0 the database's own, 1 the second one, when it could be opened.
    ServerBulk& on(size_t session) { return session == 0 ? bulk_ : *side_; }
    void startBatch(size_t table);
    bool ensureStage(Table& t, qint64 line, size_t session);
    // Starts a COPY, in a new transaction when `begin`.
    bool startCopy(const QByteArray& sql, qint64 line, bool begin, size_t session);
    // The open batch's COPY, once the batch before is settled; false when the server failed.
    bool stream(qint64 line);
    bool restage(const std::vector<Pending>& rows, size_t table, size_t count, size_t session);
    // The row into staging COPY data, its journal line numbered by `packs`.
    bool encode(const Table& t, qint64 line, bool first, const SinkRow& row, std::string& out,
                packed_lines::LineNumbers& packs);
    std::vector<QByteArray> storeParams(const Table& t, bool skipStored) const;
    bool takeAnswer(const ServerBulk::Answer& stored, const std::vector<Pending>& rows, size_t table, size_t count,
                    qint64* added, qint64* differs, size_t session);
    void keepLines();
    bool take(size_t table, qint64 line, const SinkRow& row);
    bool sendCopyData(bool all);
    void flush();
    // The batch's statement is sent, once the batch before is settled:
    // straight into its table while no stored key was met, else compared
    // with the stored rows. settle() takes the answer, lists the rows added
    // and commits; a direct batch that met a stored key goes again
    // compared, as do the batches after it.
    void send();
    void settle();
    qint64 laterRowsThatDiffer(const std::vector<Pending>& rows, size_t table, size_t count) const;
    void commit(size_t table, qint64 line, size_t rows, qint64 added, qint64 differs, size_t session);
    // Ends the COPY; false (rolled back, and the failure told or the batch
    // written row by row) unless `storedKey` and the server refused a stored key.
    bool endCopy(bool* storedKey);
    bool rowError(const ServerBulk::Answer& r) const;
    void rollback(size_t session);
    void rowByRow(const std::vector<Pending>& rows, size_t table, size_t count, size_t session);

    // One row in its own transaction, as arrays of one: the server's words
    // when it refuses it.
    void writeOne(size_t table, qint64 line, const SinkRow& row, size_t session);
    // Whether the stored row of the key holds the same; a row gone
    // meanwhile counts as the same. Nothing when the server failed.
    std::optional<bool> sameAsStored(const Table& t, qint64 line, const SinkRow& row, size_t session);
    void fail(const DatabaseFailure& why, qint64 line);

    // A keyed write's statement for one shape of record.
    struct Shape : RecordShape {
        QString put;
    };
    static Shape makeShape(RecordShape shape);
    // The steps after the put's transaction opened, its commit included.
    Result<KeyedWrite> written(const Shape& s, const QVariantList& values, qint32 serial, bool marksNight,
                               const Listing& list, bool transaction);
    Result<QSqlQuery*> run(const QString& sql, const QVariantList& binds);
    Status execute(const QString& sql);
    // The last statement's failure with the database's words in `failed`.
    Error lastFailure(const Error& failed) const;

    Database& database_;
    ServerBulk bulk_;
    std::unique_ptr<ServerBulk> side_;
    bool sideTried_ = false;
    // The keyed writes' statements, prepared once per statement text.
    StatementCache statements_;
    RecordShapes<Shape> shapes_;
    int batchRows_;
    qint64 entry_ = 0;
    std::vector<Table> tables_;
    // The open batch: its table, its rows, the COPY data not yet sent.
    bool copying_ = false;
    bool streaming_ = false; // its COPY runs
    bool direct_ = true;     // the next batch goes straight into its table
    bool batchDirect_ = true;
    size_t batchTable_ = 0;
    size_t session_ = 0; // the open batch's
    std::vector<Pending> batch_;
    size_t batchSize_ = 0;
    size_t pollAt_ = 0; // the COPY data made by when the server is asked again
    int sincePoll_ = 0; // rows made since, while the batch before is stored
    // The staged batch whose statement the server runs.
    bool inFlight_ = false;
    bool flightDirect_ = false;
    size_t flightTable_ = 0;
    size_t flightSession_ = 0;
    std::vector<Pending> flight_;
    size_t flightSize_ = 0;
    BatchKeys keys_;
    std::string keyBytes_;
    packed_lines::LineNumbers packs_; // the journal lines of the open batch's records
    std::string out_;
    // The lines the server wrote for the batch, until it commits.
    std::vector<packed_lines::Line> batchLines_;
    // The digest of the lines committed, in their order.
    Sha256 lines_;
    QByteArray key_, digest_;
};

} // namespace tvq52
