#pragma once

#include "core/error.h"

#include <QByteArray>
#include <QSqlDatabase>

namespace tvq52 {

// The hex SHA-256 over the record lines of journal entry `entry`, in the
// order they were listed: what sealing the entry covers. A merge or an
// import lists a million lines; read one by one through Qt they took
// longer than the merge itself, so SQLite's are read straight from it and a
// server hashes its own.
Result<QByteArray> journalLinesDigest(QSqlDatabase db, qint64 entry);

} // namespace tvq52
