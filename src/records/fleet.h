#pragma once

#include "core/error.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace tvq52 {

class Database;

// Why a unit needs attention. Ordered as urgency weighs them: tamper signs
// (the first four) before staleness before exceedances.
enum class FleetReason : std::uint8_t { Erased, Battery, Reprogrammed, Journal, Stale, Exceedances };
// The short English word the command line prints: "erased", "battery",
// "reprogrammed", "journal", "stale", "exceedances".
QString fleetReasonWord(FleetReason reason);

// One unit of the office as the overview shows it. Typed values only: the
// windows and the command line make their own texts.
struct FleetUnit {
    qint32 serial = 0;
    QString venue;    // TLocal
    QString phone;    // TTelefono
    QString firmware; // TVersion
    std::optional<QDateTime> lastDownload; // when the newest download entry was opened
    QString lastOutcome;                   // that entry's outcome word, empty when never
    std::optional<int> daysSinceDownload;  // whole days before `now`; nothing when never
    int recordsStored = 0;                 // rows the newest download added or rewrote
    // Event dates the unit reported that fall after the download before the
    // newest one (none counted when there was no earlier download).
    int erasuresSincePrevious = 0;
    int batteryEndsSincePrevious = 0;
    int reprogrammingsSincePrevious = 0;
    // A reprogramming dated after this office's newest transmission to it
    // (false when this office never transmitted to it).
    bool reprogrammedElsewhere = false;
    int exceedanceNights = 0; // nights in the last 30 days with the venue or neighbour limit passed
    bool journalOk = true;    // the unit's journal verified when last checked
    std::optional<QDateTime> journalCheckedAt;
    int urgency = 0; // 0: nothing to do; larger first
    std::vector<FleetReason> reasons;
};

struct FleetOptions {
    int staleDays = 30; // a unit not read for longer than this is stale
    QDateTime now = QDateTime::currentDateTime();
};

// The urgency and reasons of a unit from its other fields. Tiers weigh
// strictly: with S tamper signs (1..4), D days since the download (counted
// only when stale; never read counts as the most) and N exceedance nights
// (at most 99):
//   tamper signs:     2,000,000 + S * 100,000 + min(D, 999) * 100 + N
//   stale, no tamper: 1,000,000 + min(D, 9,999) * 100 + N
//   otherwise:        N (0: nothing to do)
void rateFleetUnit(FleetUnit& unit, const FleetOptions& options);

// Every unit of `Programacion`, rated and sorted by urgency (then serial).
// Reads only what the office tables keep up to date and the units' rows:
// never a scan of the record tables.
Result<std::vector<FleetUnit>> loadFleet(Database& database, const FleetOptions& options = {});

// Verifies the journal of one unit, or of every unit of `Programacion`, and
// keeps each result (with the journal's head then) in "DiarioVerificado",
// which loadFleet reads: verifying hashes every row, too slow for an overview.
// With `entry` (a download of that unit just sealed) only what that entry
// listed is checked against the records, besides the whole chain.
// The units whose journal did not verify.
Result<QList<qint32>> checkFleetJournal(Database& database, std::optional<qint32> serial = std::nullopt,
                                        qint64 entry = 0);

// The keys of the overview's JSON objects and of its CSV header, in order.
QStringList fleetKeys();
// The overview as one JSON array of objects with fleetKeys(): ISO dates,
// null for never, reasons as an array of their words.
QByteArray fleetJson(const std::vector<FleetUnit>& units);

// The overview as comma-separated text for programs and spreadsheets: a
// header of the command line's JSON keys, ISO dates, reasons joined by ";".
QByteArray fleetCsv(const std::vector<FleetUnit>& units);

} // namespace tvq52
