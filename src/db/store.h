#pragma once

#include "core/error.h"
#include "db/schema.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <optional>

namespace tvq52 {

class Database;

// A row by column name; names are matched without regard to case, as the
// database does. Values keep the order they were set in.
class Row {
public:
    void set(const QString& column, const QVariant& value);
    // For a row built column by column, each named once: set() without the
    // search (a 45-column row would compare names a thousand times).
    void append(const QString& column, const QVariant& value)
    {
        columns_ << column;
        values_ << value;
    }
    QVariant value(const QString& column) const;
    bool contains(const QString& column) const;
    const QStringList& columns() const { return columns_; }
    const QVariantList& values() const { return values_; }
    bool isEmpty() const { return columns_.isEmpty(); }

private:
    int indexOf(const QString& column) const;
    QStringList columns_;
    QVariantList values_;
};

// Converts a value to what the column stores (dates as "yyyy-mm-dd", floats
// rounded to single precision, booleans as 0/1 for SQLite).
QVariant toStorage(const ColumnDef& column, const QVariant& value, SqlDialect dialect);
QVariant fromStorage(const ColumnDef& column, const QVariant& value);

// Writes one row; column names are checked against the schema.
Status insertRow(QSqlDatabase db, const TableDef& table, const Row& row, SqlDialect dialect = SqlDialect::SQLite);

// Reads and writes rows by column name. Every identifier comes from the
// schema and every value is a bound parameter.
class Store {
public:
    explicit Store(Database& database);

    // Rows whose columns equal `where`, sorted by `orderBy` (column names,
    // each optionally followed by " DESC"). A read that fails, also partway,
    // gives no rows and sets lastError().
    QList<Row> select(const QString& table, const Row& where = {}, const QStringList& orderBy = {}) const;
    std::optional<Row> selectOne(const QString& table, const Row& where) const;
    // Rows whose `column` text contains `fragment` (no wildcards from the user).
    QList<Row> selectContaining(const QString& table, const QString& column, const QString& fragment,
                                const QStringList& orderBy = {}) const;
    qint64 count(const QString& table, const Row& where = {}) const;

    bool insert(const QString& table, const Row& row);
    // Updates the rows matching `where`; returns the number changed, -1 on error.
    int update(const QString& table, const Row& values, const Row& where);
    // Updates the row with the table's key taken from `row`, or adds it.
    bool upsert(const QString& table, const Row& row);
    // Adds the row unless one with the same key exists; false only on error.
    bool insertIfAbsent(const QString& table, const Row& row, bool* added = nullptr);
    int remove(const QString& table, const Row& where);

    // Removes one unit with all its data, in one transaction.
    bool deleteUnit(qint32 serial);
    // The same inside the caller's transaction.
    bool removeUnit(qint32 serial);

    bool transaction();
    bool commit();
    bool rollback();

    QString lastError() const { return lastError_; }
    Database& database() const { return database_; }

private:
    const TableDef* table(const QString& name) const;
    // Keeps the failure's text as lastError(); true when it succeeded.
    bool noted(const Status& status) const;
    QSqlDatabase liveConnection() const;
    bool insertOnConflict(const TableDef& t, const Row& row, bool update, bool* added);
    bool whereClause(const TableDef& t, const Row& where, QString* sql, QVariantList* binds) const;
    bool orderClause(const TableDef& t, const QStringList& orderBy, QString* sql) const;
    QList<Row> run(const TableDef& t, const QString& sql, const QVariantList& binds) const;

    Database& database_;
    mutable QString lastError_;
};

// Runs `body` inside a transaction on `store`: commits when it returns true,
// rolls back otherwise (and when it throws).
template <typename F> bool inTransaction(Store& store, F&& body)
{
    if (!store.transaction())
        return false;
    bool ok = false;
    try {
        ok = body();
    } catch (...) {
        store.rollback();
        throw;
    }
    if (!ok) {
        store.rollback();
        return false;
    }
    return store.commit();
}

} // namespace tvq52
