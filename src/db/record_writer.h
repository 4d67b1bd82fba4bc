#pragma once

#include "core/error.h"
#include "db/database_failure.h"
#include "db/schema.h"
#include "db/store.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class QSqlError;

namespace tvq52 {

class Database;

// How a record reached its table.
enum class Stored : std::uint8_t { Added, Rewritten };

// What one keyed write came to: how the row was stored or, when another PC
// added the same key between the look and the write, nothing written and the
// database's words (a next try finds the row there).
struct KeyedWrite {
    Stored stored = Stored::Added;
    std::optional<Error> raced;
};

// Writes one downloaded record by its key, on the database's own backend.
// Each put is one transaction that first makes sure the unit is still stored
// (holding its row on a server, so that a deletion elsewhere waits for it or
// is seen) and is committed when it returns, so that the unit may be
// acknowledged then. Only the columns the row carries are set on a row
// already there. Values are always bound.
class RecordWriter {
public:
    virtual ~RecordWriter() = default;

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
    // The kind of a failure of this backend's statements (never None).
    DatabaseFailure::Kind failureOf(const QSqlError& error) const;

    // Called once each put's transaction is open, before the unit is looked
    // at: lets a test act as another program at that very moment.
    void setTransactionOpenHook(std::function<void()> hook) { transactionOpen_ = std::move(hook); }

protected:
    explicit RecordWriter(bool server) : server_(server) {}
    // The unit's Programacion row is missing.
    static Error unitGone(qint32 serial);
    void transactionOpened() const
    {
        if (transactionOpen_)
            transactionOpen_();
    }

private:
    bool server_;
    std::function<void()> transactionOpen_;
};

// The writer of the database's backend.
std::unique_ptr<RecordWriter> openRecordWriter(Database& database);

// What a row of one table and set of columns needs, worked out once: its
// columns and where the key's are among them, quoted for statements.
struct RecordShape {
    QString tableName;
    QStringList names; // of the row's columns, in its order
    const TableDef* table = nullptr;
    std::vector<const ColumnDef*> columns;
    std::vector<int> key; // positions in `columns`
    QString quotedTable;
    QStringList quoted, quotedKey;

    // The key columns' values of `values`, in the key's order.
    QVariantList keyValues(const QVariantList& values) const;
    // The row's values as `dialect` stores them, in the shape's column order.
    QVariantList storageValues(const Row& row, SqlDialect dialect) const;
};

// The shape of a row of `table` carrying `columns`; an error when the table,
// a column or a key column is missing.
Result<RecordShape> recordShape(const QString& table, const QStringList& columns);

// A writer's shapes with what it prepares for each, by table and columns: a
// download writes rows of one shape over and over. Map nodes keep their address.
template <typename S>
class RecordShapes {
public:
    // The shape for `row`, made by `make(RecordShape)` on first use.
    template <typename Make>
    Result<S*> get(const QString& table, const Row& row, Make make)
    {
        if (last_ && last_->tableName == table && last_->names == row.columns())
            return last_;
        const QString signature = table + QLatin1Char('|') + row.columns().join(QLatin1Char('|'));
        auto found = shapes_.find(signature);
        if (found == shapes_.end()) {
            Result<RecordShape> shape = recordShape(table, row.columns());
            if (!shape)
                return shape.error();
            found = shapes_.emplace(signature, make(std::move(*shape))).first;
        }
        return last_ = &found->second;
    }
    std::map<QString, S>& all() { return shapes_; }

private:
    std::map<QString, S> shapes_;
    S* last_ = nullptr;
};

} // namespace tvq52
