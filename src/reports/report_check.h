#pragma once

#include "core/error.h"
#include "evidence/journal.h"
#include "evidence/report_proof.h"

#include <QList>

namespace tvq52 {

class Database;

// A printed report's proof held against the database as it is now.
struct ReportCheck {
    qint64 recordsNow = 0;
    bool recordsMatch = false; // the records in its scope give the printed digest
    bool headInChain = true;   // the journal still holds the printed head and all before it
    // The journal's findings that bear on the report: the chain's own, and
    // those about a record it showed or shows now.
    QList<JournalFinding> findings;
    // Whether the printed records could be told one by one (from the
    // journal as it stood at the printed head and the carried lines): only
    // then are the lists below complete.
    bool named = false;
    QList<ShownRecord> changed; // as stored now
    QList<ShownRecord> removed; // as printed
    QList<ShownRecord> added;   // as stored now
    bool passed() const { return recordsMatch && headInChain && findings.isEmpty(); }
};

// Reads the records the proof's report showed, as they are stored now, and
// the journal; names what differs. An error only when the database cannot
// be read.
Result<ReportCheck> checkReport(Database& database, const ReportProof& proof);

} // namespace tvq52
