#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

namespace tvq52 {

enum class JournalOutcome : std::uint8_t;

// How one unit of a collect round ended.
enum class CollectOutcome : std::uint8_t {
    // Its download ended so, as its journal entry says.
    Completed,
    Stopped,
    Failed,
    Cancelled,
    Interrupted,
    NotSerialNumber, // the list's line names none: never called
    NotStored,       // no record of the unit holds a number to dial
    NoTelephone,     // its record has no telephone number
    AnotherUnit,     // the number reached a unit of another serial number
    NotCalled,       // no line was left to call it
    LineFailed,      // its line's worker ended while it held the unit
};
// The word the summary prints and a worker hands back: "completed",
// "not a serial number", "line failed", ...
QString collectOutcomeName(CollectOutcome outcome);
std::optional<CollectOutcome> collectOutcomeFromName(const QString& name);
CollectOutcome collectOutcome(JournalOutcome outcome);

// One unit of a collect run, as the summary prints it and as a line's
// worker process hands it back (one JSON object a line).
struct CollectedUnit {
    int index = 0; // its place among the listed units, from 0
    QString requested;
    qint32 answered = 0;
    CollectOutcome outcome = CollectOutcome::Failed;
    int intervals = 0, sessions = 0, refused = 0;
    bool ok = false;
    QString line; // the device (or port) the unit was called on; empty when never called
    // The range the download asked for, when it got that far.
    std::optional<QDateTime> from, to;
    QString report; // the exceedance summary written for it, if any
    // The unit's journal check after a download that completed: nothing
    // when none was made, false when it found faults or could not be made.
    std::optional<bool> journalVerified;
};

QJsonObject collectedJson(const CollectedUnit& unit);
// Nothing when the object is not one of ours (a worker that wrote garbage).
std::optional<CollectedUnit> collectedFromJson(const QJsonObject& object);

int failedCount(const QList<CollectedUnit>& summary);
// Units whose journal check after the download did not verify.
int journalFailedCount(const QList<CollectedUnit>& summary);
// The summary as `tvq52-cli collect --json` prints it.
QJsonObject collectSummaryJson(const QList<CollectedUnit>& summary);

} // namespace tvq52
