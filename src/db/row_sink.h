#pragma once

#include "core/error.h"
#include "db/database_failure.h"
#include "db/schema.h"
#include "db/sink_row.h"

#include <QString>
#include <QVariant>
#include <functional>
#include <memory>
#include <vector>

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

// Where converted rows are stored: a row is added when its key is missing,
// else counted as present or present with other values, and the row never
// changes what is there. Rows are committed in batches; after a failure of
// the database itself the counts hold only what was committed, and nothing
// is stored after it.
class RowSink {
public:
    virtual ~RowSink() = default;

    // A row the database refused for its own values, with the database's
    // words. A sink that works in batches tells it after later rows were given.
    std::function<void(size_t table, qint64 line, const QString& why)> onRefused;

    // Makes ready for rows of `tables` (given by index from then on); the
    // rows added are listed in the journal's open `entry`. False with
    // failure() set when the database cannot take them.
    virtual bool prepare(const std::vector<SinkTable>& tables, qint64 entry) = 0;
    // Opens the first batch; false with failure() set.
    virtual bool begin() = 0;
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

protected:
    std::vector<SinkCounts> counts_;
    qint64 added_ = 0;
    DatabaseFailure failure_;
    qint64 failedLine_ = 0;

private:
    SinkRow scratch_;
};

// The sink of the database's backend, rows committed every `batchRows`.
// Fails with the driver's words when the connection cannot be written
// directly.
Result<std::unique_ptr<RowSink>> openRowSink(Database& database, int batchRows);

// Whether a stored value and a row's value are the same for `column`: a
// single compares as a single, a date by its day.
bool sameStoredValue(const ColumnDef& column, const QVariant& stored, const QVariant& value);
// The same for every column of two rows given to a sink.
bool sameSinkRow(const SinkTable& table, const SinkRow& a, const SinkRow& b);

} // namespace tvq52
