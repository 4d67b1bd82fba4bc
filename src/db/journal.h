#pragma once

#include "db/statement_cache.h"
#include "db/store.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QLockFile>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <map>
#include <memory>
#include <optional>

namespace tvq52 {

class Database;

// What an exchange or a database operation did.
enum class JournalAction : std::uint8_t { Download, ProgramReceive, ProgramTransmit, UnitDeletion, Merge };
// The word kept in the table and printed: "download", "receive", "transmit", "delete", "merge".
QString journalActionName(JournalAction action);

// One entry of the exchange journal, as stored.
struct JournalEntry {
    qint64 id = 0;
    QDateTime at; // the PC's time the entry was opened
    JournalAction action = JournalAction::Download;
    qint32 serial = 0;
    QString line;    // "cable", "modem" or empty (a merge, a deletion)
    QString outcome; // "completed", "stopped", "failed", "cancelled", "interrupted"
    QString message; // what the user was told, in the user's language
    // Per kind: "kind added rewritten refused" lines; the totals read as plain values.
    QString counts;
    QString totals;
    QByteArray hash;     // hex SHA-256; empty while the entry is open
    qint64 previous = 0; // the entry whose hash this one chains to
    bool sealed() const { return !hash.isEmpty(); }
};

// A stored record whose values differ from what the newest entry that
// stored it recorded, or an entry whose hash no longer matches.
struct JournalFinding {
    enum class Kind : std::uint8_t { RecordEdited, RecordMissing, EntryAltered, ChainBroken };
    Kind kind = Kind::RecordEdited;
    qint64 entry = 0;
    QString table;
    QString key; // "1234 2010-03-15 10:30" (serial, ISO date, time)
    QString detail;
};

struct JournalVerification {
    QList<JournalFinding> findings; // empty: everything verifies
    int recordsChecked = 0;
    int recordsRewritten = 0;    // stored again by a later entry ("rewritten by entry N")
    int recordsNotJournaled = 0; // stored before the journal or by an import
    QByteArray head;
};

// The exchange journal: which unit was read or written, when, over which
// line, how it ended, and the keys and values of every record a download
// stored, each entry's SHA-256 chained to the one before. It lives in its
// own tables ("Diario", "DiarioRegistros"), which a database without them
// gets on first open. Anyone who can write the file can recompute the
// chain: the head is printed so that an office can keep it elsewhere.
class Journal {
public:
    explicit Journal(Database& database);
    // Lets go of the entries this object still holds open: other programs
    // then take them for abandoned, as when the program is killed.
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // Opens an entry; records are listed in it as they are stored. An entry
    // left open by a program that was killed is sealed as "interrupted" first.
    std::optional<qint64> open(JournalAction action, qint32 serial, const QString& line);
    // Lists a record in an open entry, by its table's key and the SHA-256 of
    // its values in the canonical text; runs inside the caller's transaction.
    bool addRecord(qint64 entry, const QString& table, const Row& storedRow);
    // Closes the entry: its fields, its records and the previous entry's hash
    // give its hash. Appends are serialized.
    bool seal(qint64 entry, const QString& outcome, const QString& message, const QString& counts = {},
              const QString& totals = {});
    // An entry without records, opened and sealed at once.
    bool append(JournalAction action, qint32 serial, const QString& line, const QString& outcome,
                const QString& message);

    // Newest first; only the unit's when `serial` is given.
    QList<JournalEntry> entries(std::optional<qint32> serial = std::nullopt) const;
    // The start of the oldest interval stored by the unit's downloads since
    // its last completed one; nothing when there were none or they stored no
    // interval.
    std::optional<QDateTime> oldestIntervalSinceLastCompletedDownload(qint32 serial) const;
    // The hash of the newest sealed entry, empty when there is none.
    QByteArray head() const;
    JournalVerification verify(std::optional<qint32> serial = std::nullopt) const;

    QString lastError() const { return lastError_; }
    const QSqlError& lastSqlError() const { return lastSqlError_; }

private:
    QSqlQuery* statement(const QString& sql) const;
    bool exec(QSqlQuery* query, const QVariantList& binds) const;
    // Seals the entries whose program is gone; entries another running
    // program (or this one) still holds are left open.
    void sealAbandoned();
    // Whether this process may take `entry` for abandoned: nobody holds it.
    // On a server the probe's lock is kept until `releaseProbe`.
    bool probeAbandoned(qint64 entry);
    void releaseProbe(qint64 entry);
    bool holdEntry(qint64 entry);
    void releaseEntry(qint64 entry);
    bool transactionStep(const QString& sql);
    void rollback();
    bool sealLocked(qint64 entry, const QString& outcome, const QString& message, const QString& counts,
                    const QString& totals);
    QString lockPath(qint64 entry) const;

    Database& database_;
    mutable QString lastError_;
    mutable QSqlError lastSqlError_;
    // Held while an entry is open, so that other programs can tell an entry
    // in progress from one a killed program left: a lock file beside an
    // SQLite file, a session advisory lock on a server (which the server
    // lets go of when the program's connection ends).
    QHash<qint64, std::shared_ptr<QLockFile>> locks_;
    QSet<qint64> held_;
    mutable StatementCache statements_;
};

// The statements that create the journal's tables and indexes.
QStringList journalSchemaStatements(SqlDialect dialect = SqlDialect::SQLite);
// Adds the journal's tables to a database that lacks them.
bool ensureJournalTables(QSqlDatabase db, QString* error, SqlDialect dialect = SqlDialect::SQLite);

// The canonical text of a row's values: the table's columns in order,
// levels to 0.1, ISO dates, "hh:nn" times as stored, booleans 0/1, NULL empty.
QString canonicalRowText(const QString& table, const Row& row);

} // namespace tvq52
