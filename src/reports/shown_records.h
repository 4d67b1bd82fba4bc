#pragma once

#include "core/error.h"
#include "evidence/report_proof.h"

#include <QDateTime>
#include <functional>

namespace tvq52 {

class Database;

// Which records a report shows: its kind, its unit and its range (the
// programming report and the overview have none).
struct ReportScope {
    ReportKind kind = ReportKind::Programming;
    qint32 serial = 0;
    QDateTime from, to;
    // When the records were read: the overview's figures count from it.
    QDateTime printed;
};

// Hands over every record the report shows, in the order it shows them;
// `journaled` says whether the journal lists the record's table.
//   programming: the Programacion row, the non-working intervals (carried),
//                then the reprogramming, erasure and battery-end dates;
//   intervals, graph: the intervals that start in the range;
//   sessions: the sessions that start in the range;
//   exceedances: the intervals, then the sessions, that start in the range;
//   fleet: one line per unit of the overview, by serial number (its order
//          on the page depends on a setting), carried.
using ShownTake = std::function<Status(const ShownRecord& record, bool journaled)>;
Status eachShownRecord(Database& database, const ReportScope& scope, const ShownTake& take);

// The digest of the records shown, how many, and the ones to carry.
struct ShownDigest {
    QByteArray digest;
    qint64 records = 0;
    QList<ShownRecord> carried;
};
Result<ShownDigest> digestShownRecords(Database& database, const ReportScope& scope);

// The proof of a report about to be laid out: the digest, the journal's
// head and the moment (now, unless the scope gives one).
Result<ReportProof> makeReportProof(Database& database, ReportScope scope);
ReportScope scopeOf(const ReportProof& proof);

// The text of an overview row that its line hashes: what the overview
// reads from the database, not what it works out from a setting.
QString fleetRowText(const struct FleetUnit& unit);

} // namespace tvq52
