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
// schema and every value is a bound parameter. Failures carry the
// database's words (or the store's, for a name the schema lacks) as final text.
class Store {
public:
    explicit Store(Database& database);

    // Rows whose columns equal `where`, sorted by `orderBy` (column names,
    // each optionally followed by " DESC"). A read that fails, also partway,
    // is an error, never fewer rows.
    Result<QList<Row>> select(const QString& table, const Row& where = {}, const QStringList& orderBy = {}) const;
    Result<std::optional<Row>> selectOne(const QString& table, const Row& where) const;
    // Rows whose `column` text contains `fragment` (no wildcards from the user).
    Result<QList<Row>> selectContaining(const QString& table, const QString& column, const QString& fragment,
                                        const QStringList& orderBy = {}) const;
    Result<qint64> count(const QString& table, const Row& where = {}) const;

    Status insert(const QString& table, const Row& row);
    // Updates the rows matching `where`; gives the number changed.
    Result<int> update(const QString& table, const Row& values, const Row& where);
    // Updates the row with the table's key taken from `row`, or adds it.
    Status upsert(const QString& table, const Row& row);
    // Adds the row unless one with the same key exists; true when it was added.
    Result<bool> insertIfAbsent(const QString& table, const Row& row);
    // Gives the number of rows removed.
    Result<int> remove(const QString& table, const Row& where);

    // Removes one unit with all its data, in one transaction.
    Status deleteUnit(qint32 serial);
    // A unit's tables, its own row first: on a server that row's lock makes
    // a download storing for the unit on another PC wait, then find it gone.
    static constexpr const char* kUnitTables[] = {"Programacion",    "IntervaloInhabil", "Sesiones",       "Intervalos",
                                                  "DiaFinalBateria", "DiaBorrado",       "DiaReprogramado"};
    // The same inside the caller's transaction.
    Status removeUnit(qint32 serial);

    Status transaction();
    // A commit that fails is rolled back.
    Status commit();
    void rollback();

    Database& database() const { return database_; }

private:
    // A WHERE clause with its values in order.
    struct Clause {
        QString sql;
        QVariantList binds;
    };
    Result<const TableDef*> table(const QString& name) const;
    QSqlDatabase liveConnection() const;
    Result<bool> insertOnConflict(const TableDef& t, const Row& row, bool update);
    Result<Clause> whereClause(const TableDef& t, const Row& where) const;
    Result<QString> orderClause(const TableDef& t, const QStringList& orderBy) const;
    Result<QList<Row>> run(const TableDef& t, const QString& sql, const QVariantList& binds) const;
    // Runs a statement that hands back no rows; gives the rows it touched.
    Result<int> change(const QString& sql, const QVariantList& binds);

    Database& database_;
};

// Runs `body` (giving a Status) inside a transaction on `store`: commits when
// it succeeds, rolls back otherwise (and when it throws).
template <typename F> Status inTransaction(Store& store, F&& body)
{
    if (Status begun = store.transaction(); !begun)
        return begun;
    Status done;
    try {
        done = body();
    } catch (...) {
        store.rollback();
        throw;
    }
    if (!done) {
        store.rollback();
        return done;
    }
    return store.commit();
}

} // namespace tvq52
