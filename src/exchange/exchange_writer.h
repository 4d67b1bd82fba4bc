#pragma once

#include <QList>
#include <QString>

namespace tvq52 {

class Database;

// Writes the rows of the given units, section by section in the import's
// order and each section's columns in the file's order, so that this
// program's import reads back exactly what was stored. Returns false with
// `error` set when the file cannot be written; `rows` counts the data rows.
bool writeExchangeFile(Database& database, const QString& path, const QList<qint32>& serials, QString* error,
                       qint64* rows = nullptr);

} // namespace tvq52
