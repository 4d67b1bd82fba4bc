#pragma once

#include "core/error.h"
#include "evidence/journal.h"
#include "records/recorded_data.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace tvq52 {

class Database;
class ExchangeSession;
class Journal;
class Translator;
class Prompter;
class RecordStore;
class RecordsView;
class Row;

// The longest silence between two bytes while a download runs: a unit walks
// its memory between two records.
inline constexpr int kDownloadSilenceLimitMs = 15000;

enum class DownloadOutcome : std::uint8_t {
    NotStarted, // no unit shown (28) or the range picker was cancelled
    Cancelled,  // the connect prompt was cancelled
    Failed,     // the line, the identification or a reply failed; or a database write
    Stopped,    // the user pressed Stop
    Completed,  // the session list ended on its end frame or at the range start (61)
};

// How the journal records a download that ended so; one that never started
// is a failed one.
JournalOutcome journalOutcome(DownloadOutcome outcome);

struct DownloadReport {
    DownloadOutcome outcome = DownloadOutcome::NotStarted;
    qint32 serial = 0; // the unit that identified itself, 0 when none did
    QString firmware;  // as it reported it
    DownloadCounts counts{};
    std::optional<TotalsReading> totals;
    qint64 journalEntry = 0;
    QByteArray journalHead;     // after this download's entry
    std::optional<Error> error; // what ended a failed download, already shown
};

// What a download's journal entry keeps: one "kind added rewritten refused"
// line per kind, and the totals read as plain values.
QString downloadCountsText(const DownloadCounts& counts);

// How long the rest of a record list takes. Lists come newest first, so the
// key stamps of its first record and of the latest one received, against the
// list's start, tell how far it has come in `elapsedMs` (counted from the
// first record). Nothing while that cannot be told: one stamp so far.
std::optional<qint64> listMsLeft(const QDateTime& listStart, const QDateTime& firstStamp, const QDateTime& lastStamp,
                                 qint64 elapsedMs);
QString totalsText(const TotalsReading& totals);

// The download of the recorded-data window and of `tvq52-cli download`,
// from the range picker to the reload: identify, switch to the connected
// unit, totals, event dates, interval list, session list. Each record is
// committed before it is acknowledged; a database error ends the list with
// CAN and a message, keeping what was committed. Every message goes through
// the prompter, once.
class DownloadWorkflow {
public:
    DownloadWorkflow(ExchangeSession& session, Prompter& prompter, const Translator& translator, Database& database,
                     RecordsView& view);

    // A number to dial instead of the unit's stored one.
    void overridePhone(const QString& number) { phoneOverride_ = number; }

    // SSCommandRecibir.
    DownloadReport run();
    // SSCommandStop: noticed at the next record or inside the byte wait.
    void stop();

private:
    struct Run;
    enum class ListEnd : std::uint8_t { Ended, Stopped, Failed };
    // Whether a record frame taken leaves the list going on.
    enum class ListGoes : std::uint8_t { On, Over };

    // The steps of a download fail with the error they have already told
    // and kept in the report.
    void exchange(Run& run);
    // Identifies the unit on the line and checks it is the one wanted;
    // gives its stored row.
    Result<Row> identify(Run& run);
    // Opens the download's journal entry: nothing is stored without one.
    Status openEntry(Run& run);
    Status receiveTotals(Run& run);
    Status receiveEventDates(Run& run);
    ListEnd receiveList(Run& run, RecordKind kind);
    // Takes one received record frame; fails on a record that cannot be stored.
    Result<ListGoes> takeRecordFrame(Run& run, RecordKind kind);
    void progress(Run& run, RecordKind kind, bool force);
    void noteStamp(Run& run, const QDateTime& stamp);
    // Tells the error through its catalogue text and keeps it.
    Error fail(Run& run, const Error& error);
    // Ends the download on a write that failed, saying why.
    Error failStoring(Run& run, const Error& error);
    // Tells `text` for the error and keeps the error.
    Error refuse(Run& run, const QString& text, const Error& error);
    void sealJournal(Run& run, bool lineAttempted);
    void keepHead(Run& run);
    QString lineName() const;

    ExchangeSession& session_;
    Prompter& prompter_;
    const Translator& translator_;
    Database& database_;
    RecordsView& view_;
    std::optional<QString> phoneOverride_;
};

} // namespace tvq52
