#pragma once

#include "core/error.h"
#include "db/database_failure.h"
#include "db/database_merge.h"
#include "db/record_shape.h"
#include "db/schema.h"
#include "db/sink_row.h"

#include <QString>
#include <QVariant>
#include <functional>
#include <memory>
#include <vector>

class QSqlError;

namespace tvq52 {

class Database;

// One table as rows for it arrive: the columns each row carries, in order,
// and where its key columns are among them.
struct SinkTable {
    const TableDef* table = nullptr;
    std::vector<const ColumnDef*> columns;
    std::vector<int> keyIndex;
};

// What the rows of one table came to.
struct SinkCounts {
    qint64 added = 0;
    qint64 present = 0; // present and equal, or a later row of a key already given
    qint64 differs = 0; // present with other values; the stored row is kept
};

// Where rows are written, on the database's own backend, in three ways.
//
// Converted rows in batches: a row is added when its key is missing, else
// counted as present or present with other values, and the row never
// changes what is there. Rows are committed in batches; after a failure of
// the database itself the counts hold only what was committed, and nothing
// is stored after it.
//
// Downloaded records one by one, by their key (put, updateUnit): each put is
// one transaction that first makes sure the unit is still stored (holding
// its row on a server, so that a deletion elsewhere waits for it or is seen)
// and is committed when it returns, so that the unit may be acknowledged
// then. Only the columns the row carries are set on a row already there.
// Values are always bound.
//
// Another database file of this program merged whole (mergeFile), each
// table in its own transaction.
class RowSink {
public:
    virtual ~RowSink() = default;

    // A row the database refused for its own values, with the database's
    // words. A sink that works in batches tells it after later rows were given.
    std::function<void(size_t table, qint64 line, const QString& why)> onRefused;

    // Makes ready for rows of `tables` (given by index from then on); the
    // rows added are listed in the journal's open `entry`. The database's
    // failure, also kept in failure(), when it cannot take them.
    virtual Status prepare(const std::vector<SinkTable>& tables, qint64 entry) = 0;
    // Opens the first batch; fails as prepare() does.
    virtual Status begin() = 0;
    // Gives one row, its values as the database keeps them, `line` where it
    // came from.
    virtual void addRow(size_t table, qint64 line, const SinkRow& row) = 0;
    // The same from QVariants of the kinds SQLite keeps.
    void add(size_t table, qint64 line, const QVariantList& values)
    {
        fillSinkRow(values, scratch_);
        addRow(table, line, scratch_);
    }
    // Stores what was given, up to the last row before a failure; `line` is
    // the last one read.
    virtual void finish(qint64 line) = 0;
    // Lists in the journal entry the rows that were not listed as they were
    // added; its error holds the journal's words.
    virtual Status listAdded() = 0;

    // The hex SHA-256 of the journal lines the sink listed, in the order they
    // are stored, when it knows it; empty when it does not.
    virtual QByteArray listedLines() { return {}; }

    const std::vector<SinkCounts>& counts() const { return counts_; }
    qint64 added() const { return added_; }
    const DatabaseFailure& failure() const { return failure_; }
    // The line of the row at which the database failed, 0 before any row.
    qint64 failedLine() const { return failedLine_; }

    // Called inside the put's transaction with what the row holds afterwards
    // (older columns kept included); its failure takes the row back.
    using Listing = std::function<Status(const QString& table, const Row& stored)>;

    // The row of `serial` into `table`; `marksNight` marks the interval's
    // night for the office's overview in the same transaction. UnitGone
    // when the unit's row is missing.
    virtual Result<KeyedWrite> put(qint32 serial, const QString& table, const Row& row, bool marksNight,
                                   const Listing& list) = 0;
    // `values` onto the unit's Programacion row; UnitGone when it is missing.
    virtual Status updateUnit(qint32 serial, const Row& values) = 0;
    // The rows of `sourcePath`, another database file of this program, as
    // mergeRows() says, each table in its own transaction and the record
    // rows added listed in the journal's open `entry`. The file's own rows
    // go in by the backend's quickest way, checked and encoded as every
    // other row is.
    virtual void mergeFile(const QString& sourcePath, qint64 entry, MergeResult& result,
                           const MergeProgress& progress, const MergeStop& stop) = 0;

    // The kind of a failure of this backend's statements (never None).
    DatabaseFailure::Kind failureOf(const QSqlError& error) const;

    // Called once each put's transaction is open, before the unit is looked
    // at: lets a test act as another program at that very moment.
    void setTransactionOpenHook(std::function<void()> hook) { transactionOpen_ = std::move(hook); }

protected:
    explicit RowSink(bool server) : server_(server) {}
    // failure() as an error, for prepare() and begin().
    Status batchFailure() const { return databaseError(failure_); }
    // The unit's Programacion row is missing.
    static Error unitGone(qint32 serial);
    void transactionOpened() const
    {
        if (transactionOpen_)
            transactionOpen_();
    }

    std::vector<SinkCounts> counts_;
    qint64 added_ = 0;
    DatabaseFailure failure_;
    qint64 failedLine_ = 0;

private:
    SinkRow scratch_;
    bool server_;
    std::function<void()> transactionOpen_;
};

// The batch size of a sink that writes no batches of rows, only records by
// their key or whole files merged: opening it never fails, as each write
// works on the connection of the moment.
inline constexpr int kNoBatches = 0;

// The sink of the database's backend, rows committed every `batchRows`.
// Fails with the driver's words when the connection cannot be written
// directly, unless `batchRows` is kNoBatches.
Result<std::unique_ptr<RowSink>> openRowSink(Database& database, int batchRows);

// Whether a stored value and a row's value are the same for `column`: a
// single compares as a single, a date by its day.
bool sameStoredValue(const ColumnDef& column, const QVariant& stored, const QVariant& value);
// The same for every column of two rows given to a sink.
bool sameSinkRow(const SinkTable& table, const SinkRow& a, const SinkRow& b);

} // namespace tvq52
