#pragma once

#include "core/error.h"
#include "db/schema.h"

#include <QStringList>
#include <memory>
#include <string_view>

namespace tvq52 {

class Database;

// One unit's rows of a table in its key's order, read forward a row at a
// time straight from the backend (SQLite's statement, a server cursor fetched
// in pieces): an export of a million rows holds one piece, never the unit,
// and reads each value as the backend gives it, without a QVariant.
class UnitRows {
public:
    explicit UnitRows(Database& database);
    ~UnitRows();
    UnitRows(const UnitRows&) = delete;
    UnitRows& operator=(const UnitRows&) = delete;

    // Starts the read of `columns` (the table's own, in the order wanted).
    Status open(const TableDef& table, const QStringList& columns, qint32 serial);
    // The next row; false at the end, or when the read failed (status()).
    bool next();
    Status status() const;

    // Values of the current row, columns from 0 in open()'s order.
    bool isNull(int column) const;
    qint64 integer(int column) const;
    double real(int column) const;
    bool boolean(int column) const;
    // The UTF-8 text, valid until the next row; a date reads "yyyy-mm-dd".
    std::string_view text(int column) const;

    class Backend;

private:
    Database& database_;
    std::unique_ptr<Backend> backend_;
    Status status_;
};

} // namespace tvq52
