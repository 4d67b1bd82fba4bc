#pragma once

#include "core/error.h"
#include "evidence/signing.h"

#include <QList>
#include <QString>

namespace tvq52 {

class Database;

// Writes the rows of the given units, section by section in the import's
// order and each section's columns in the file's order, so that this
// program's import reads back exactly what was stored. Gives the count of
// data rows, or the error's words when the file cannot be written (in the
// program's own words when the path is no regular file, which stays as it is).
// The provenance is signed with the office's key when the PC has one; a key
// that cannot be loaded or sign writes nothing.
struct ExchangeSigning {
    CertificateInfo signer;       // null: written unsigned
    std::optional<Error> warning; // the run's one warning that files go out unsigned, or a time stamp missed
};
Result<qint64> writeExchangeFile(Database& database, const QString& path, const QList<qint32>& serials,
                                 ExchangeSigning* signing = nullptr);

} // namespace tvq52
