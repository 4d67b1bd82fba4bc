#pragma once

#include "core/error.h"
#include "db/row_sink.h"
#include "db/store.h"
#include "records/recorded_data.h"

#include <QDateTime>
#include <QString>
#include <QVector>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace tvq52 {

class Database;
class Journal;

// Writes downloaded records by their key: one insert-or-update on the key
// that sets only the columns the record carries, so that an interval in the
// older layout keeps the row's ByDNA, ByENA and ByLineaInsuficiente, and two
// PCs storing the same record at once leave one row. Each call is one
// transaction that first makes sure the unit is still stored (holding its
// row on a server, so that a deletion elsewhere waits for it or is seen),
// committed when it returns, so the unit may be acknowledged then; with a
// journal entry open, the record's journal line, taken from what the row
// holds afterwards, is committed in the same transaction. Values are always bound.
class RecordStore {
public:
    explicit RecordStore(Database& database);
    ~RecordStore();

    // The journal entry the following records are listed in (0: none).
    void setJournalEntry(Journal* journal, qint64 entry);

    Result<Stored> storeInterval(qint32 serial, const IntervalRecord& record);
    Result<Stored> storeSession(qint32 serial, const SessionRecord& record);
    // Keyed by serial, date and time compared as values.
    Result<Stored> storeEvent(qint32 serial, const EventDate& event);
    // The counters and reading time of the unit's Programacion row; UnitGone
    // when the row is missing.
    Status storeTotals(qint32 serial, const TotalsReading& totals);
    // TVersion of the unit's row, when the unit reports another firmware.
    Status storeFirmware(qint32 serial, const QString& firmware);

    // The ids of the unit's rows of `kind` in the order of `keys` (schema
    // names, each taking `descending`; a "dd/mm/yyyy" text orders as its
    // date), ties kept in a fixed order. A name the table lacks is an error.
    Result<std::vector<qint64>> rowIds(RecordKind kind, qint32 serial, const QStringList& keys, bool descending) const;
    // The values of `columns` of the rows `ids`, in the order of `ids`; a
    // row gone since reads empty.
    Result<std::vector<QVector<QVariant>>> rowsById(RecordKind kind, const QStringList& columns,
                                                    const std::vector<qint64>& ids) const;

    // Called once each write's transaction is open, before the unit is
    // looked at: lets a test act as another program at that very moment.
    void setTransactionOpenHook(std::function<void()> hook) { sink_->setTransactionOpenHook(std::move(hook)); }

    // The start of the newest stored interval of the unit, or of the newest
    // one that starts before `before`.
    std::optional<QDateTime> newestIntervalStart(qint32 serial,
                                                 const std::optional<QDateTime>& before = std::nullopt) const;
    // The start of the newest stored session of the unit.
    std::optional<QDateTime> newestSessionStart(qint32 serial) const;
    Database& database() const { return database_; }

private:
    std::optional<QDateTime> newestStart(const QString& table, qint32 serial,
                                         const std::optional<QDateTime>& before) const;
    Result<Stored> write(const QString& table, const Row& row);

    Database& database_;
    std::unique_ptr<RowSink> sink_;
    // Lists each record in the journal entry set; empty without one.
    RowSink::Listing list_;
};

// The rows the store writes: every column a record carries, in schema
// order, as logical values (dates as QDate, times as "hh:nn" text). An
// interval in the older layout carries no ByDNA, ByENA, ByLineaInsuficiente.
Row intervalRow(qint32 serial, const IntervalRecord& record);
Row sessionRow(qint32 serial, const SessionRecord& record);
Row eventRow(qint32 serial, const EventDate& event);

// The range picker's proposal: from the newest stored interval's start (or
// 60 days before `now` when none is stored) to `now`.
// Whether anything of the unit is stored: its programming or any record.
bool unitStored(Database& database, qint32 serial);

Result<DownloadRange> proposedRange(const RecordStore& store, qint32 serial, const QDateTime& now);

// The session list's own start. The unit stores a session only when it
// ends, so a session under way at one download began before the next one's
// interval start: the list starts at the newest stored session, or a day
// before the interval start when that is earlier or none is stored.
QDateTime sessionListStart(const QDateTime& intervalStart, const std::optional<QDateTime>& newestSession);
// The range the session request sends: that start, the interval range's end.
DownloadRange sessionRange(const RecordStore& store, qint32 serial, const DownloadRange& range);

} // namespace tvq52
