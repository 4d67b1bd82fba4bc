#pragma once

#include "core/stored_value.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace tvq52 {

struct TableDef {
    const char* name;
    std::vector<ColumnDef> columns;
    // Columns that identify a row; enforced as unique by the schema.
    std::vector<const char*> key;
    const char* keyName = nullptr;

    const ColumnDef* column(const QString& name) const; // case-insensitive
    bool isKey(const ColumnDef& column) const;
    QStringList columnNames() const;
};

enum class SqlDialect { SQLite, PostgreSQL };

const std::vector<TableDef>& schemaTables();
const TableDef* schemaTable(const QString& name); // case-insensitive

// Identifier quoting that keeps names such as "SOctava31,5Hz" whole.
QString quoteIdentifier(const QString& name);

// Tables each PC keeps for itself (its settings row), never in a shared
// server database.
bool isLocalTable(const TableDef& table);

// The row number column a PostgreSQL table gets beside its own columns.
inline constexpr const char* kServerRowId = "rowid";

// The statements that create the database the installer delivers; on
// PostgreSQL without the local tables.
QStringList createSchemaStatements(SqlDialect dialect);

} // namespace tvq52
