#pragma once

#include "core/error.h"
#include "db/schema.h"
#include "db/store.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace tvq52 {

// How a record reached its table.
enum class Stored : std::uint8_t { Added, Rewritten };

// What one keyed write came to: how the row was stored or, when another PC
// added the same key between the look and the write, nothing written and the
// database's words (a next try finds the row there).
struct KeyedWrite {
    Stored stored = Stored::Added;
    std::optional<Error> raced;
};

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

// A sink's shapes with what it prepares for each, by table and columns: a
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
