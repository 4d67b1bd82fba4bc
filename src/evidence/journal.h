#pragma once

#include "core/error.h"
#include "core/message_words.h"
#include "db/database_failure.h"
#include "db/journal_tables.h"
#include "db/statement_cache.h"
#include "db/store.h"
#include "evidence/signing.h"

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

// A stored record whose values differ from what the newest entry that
// stored it recorded, or an entry whose hash no longer matches.
struct JournalFinding {
    enum class Kind : std::uint8_t {
        RecordEdited,
        RecordMissing,
        EntryAltered,
        ChainBroken,
        NoProvenance,   // a stored record that no entry stored
        EntryNotOpened, // an entry the program did not open
        TotalsDiffer,   // a unit's stored totals against its newest download
        JournalRestarted,
        HeadMissing, // the head the user kept is not in the chain
        Unreadable,
        SignatureInvalid, // a signature that does not verify over what it signs
        SignerNotTrusted, // a valid signature by a certificate not trusted, or not valid then
        EntryUnsigned     // an unsigned entry where the office's signature is due
    };
    Kind kind = Kind::RecordEdited;
    qint64 entry = 0;
    QString table;
    QString key; // "1234 2010-03-15 10:30" (serial, ISO date, time)
    QString detail;
};

// How an entry's signatures stand.
struct JournalSigning {
    qint64 entry = 0;
    bool open = false;
    bool isSigned = false;   // sealed: the seal is signed; open: the opening is
    bool beforeKeys = false; // unsigned, and older than the chain's first signed entry
    bool valid = false;      // every signature it carries verifies
    bool trusted = false;    // valid, and each signer trusted at its signing time
    CertificateInfo signer;  // the seal's (the opening's while open)
    SigningTime time;        // when that signature was made, and whether a stamp proves it
    bool timeProven = false; // every signature's time is proven by a stamp
};

struct JournalVerification {
    QList<JournalFinding> findings; // empty: everything verifies
    // Every entry: the chain in sealing order, then the open entries.
    QList<JournalSigning> signing;
    bool anySigned = false; // some entry carries the office's signature
    int recordsChecked = 0;
    int recordsRewritten = 0;     // stored again by a later entry ("rewritten by entry N")
    int recordsNotJournaled = 0;  // stored by no entry: each is a finding
    int recordsInOpenEntries = 0; // listed by an exchange still running or cut short
    qint64 linesRead = 0;         // journal lines the check read
    QByteArray head;
};

// What a check reads of the records and their lines; the chain of entries
// is always walked whole. No serial: everything.
struct JournalScope {
    std::optional<qint32> serial;
    // Keys of the unit from `fromKey` to `toKey`, both included ("serial
    // yyyy-mm-dd hh:nn"); empty: all of the unit's.
    QString fromKey, toKey;
    // Not 0: only the lines of that entry and the records they list.
    qint64 entry = 0;
};

// The exchange journal: which unit was read or written, when, over which
// line, how it ended, and the keys and values of every record a download,
// an import or a merge stored, each entry's SHA-256 chained to the one before. It lives in its
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
    // A serial of 0 or less is no known unit. `source` is the hex SHA-256 of
    // the file an import or a merge reads.
    Result<qint64> open(JournalAction action, qint32 serial, const QString& line, const QByteArray& source = {});
    // Lists a record in an open entry, by its table's key and the SHA-256 of
    // its values in the canonical text; runs inside the caller's transaction.
    Status addRecord(qint64 entry, const QString& table, const Row& storedRow);
    // The hex SHA-256 of the entry's record lines in stored order, as the
    // one writer that listed them kept it: sealing then need not read a
    // million lines back.
    void setListedLines(qint64 entry, const QByteArray& digest) { listedLines_[entry] = digest; }
    // What the message the entry is sealed with is made of, so that each
    // reader sees it in their own language: a catalogue number and its
    // arguments, or (number 0) a native text first and then its arguments.
    void setMessageSource(qint64 entry, int number, const QStringList& arguments)
    {
        messageSources_[entry] = {number, arguments};
    }
    void setMessageSource(qint64 entry, const MessageWords& words) { setMessageSource(entry, 0, words.encoded()); }
    // Keeps with an open entry what its file said of where it comes from;
    // sealing puts it in the hash.
    Status setProvenance(qint64 entry, const QString& text);
    // Closes the entry: its fields, its records and the previous entry's hash
    // give its hash. Appends are serialized.
    Status seal(qint64 entry, const QString& outcome, const QString& message, const QString& counts = {},
                const QString& totals = {});
    // An entry without records, opened and sealed at once; its message's
    // source as with setMessageSource.
    Status append(JournalAction action, qint32 serial, const QString& line, const QString& outcome,
                  const QString& message, int number = 0, const QStringList& arguments = {});
    // The same inside the caller's transaction, which already holds the
    // database's write lock (SQLite) and, on a server, gets the chain's lock
    // until it ends: the entry stands or falls with what the caller wrote.
    Status appendInTransaction(JournalAction action, qint32 serial, const QString& line, const QString& outcome,
                               const QString& message, int number = 0, const QStringList& arguments = {});

    // Lists, in an open entry, the rows of a record table numbered after
    // `afterRow` (SQLite's rowid, the server's row number), through `db`,
    // which may be another connection of the same database inside its own
    // transaction. Other tables are not listed.
    static Status addRowsAfter(QSqlDatabase db, qint64 entry, const QString& table, qint64 afterRow);
    // The highest row number of `table`, 0 when it is empty.
    static Result<qint64> lastRow(QSqlDatabase db, const QString& table);

    // Newest first; only the unit's when `serial` is given. A read that
    // fails is an error, never an empty journal.
    Result<QList<JournalEntry>> entries(std::optional<qint32> serial = std::nullopt) const;
    // The start of the oldest interval stored by the unit's downloads since
    // its last completed one; nothing when there were none or they stored no
    // interval.
    Result<std::optional<QDateTime>> oldestIntervalSinceLastCompletedDownload(qint32 serial) const;
    // The hash of the entry sealed last (the chain's order, not the highest
    // number), empty when there is none; an error when it cannot be read.
    Result<QByteArray> head() const;
    // With `keptHead`, also that the chain still holds that head.
    JournalVerification verify(std::optional<qint32> serial = std::nullopt, const QByteArray& keptHead = {}) const;
    JournalVerification verify(const JournalScope& scope, const QByteArray& keptHead = {}) const;
    // Entries left open that the program did not open: never sealed.
    QList<qint64> unlinkedOpenEntries() const { return unlinked_; }
    // How one entry's signatures stand against this PC's trust, without the
    // chain around it (beforeKeys is never set).
    JournalSigning signing(const JournalEntry& entry) const;
    // Whether the journal held an entry signed by the office when `head` was
    // its head: a report printed then should carry a signature too.
    bool signedAt(const QByteArray& head) const;
    // Puts the time stamp on signatures made while the authority did not
    // answer; stops at the first it still refuses. An error when the
    // database could not be written.
    Status addPendingTimeStamps();

    // The database's own error behind the last failure, to tell its kind by.
    const QSqlError& lastSqlError() const { return lastSqlError_; }
    // A failure this journal gave, as the database's own (full, locked,
    // read-only, gone), or Other when it was something else.
    DatabaseFailure failureOf(const Error& error) const;

private:
    // The newest sealed entry, which a new seal links to: nothing when the
    // chain is empty; the seal's number follows it.
    struct ChainHead {
        std::optional<qint64> previous;
        QByteArray hash;
        qint64 sealNumber = 1;
    };
    // The statement for `sql`, prepared once and run with `binds`.
    Result<QSqlQuery*> run(const QString& sql, const QVariantList& binds) const;
    Result<ChainHead> readChainHead() const;
    // Seals the entries whose program is gone; entries another running
    // program (or this one) still holds are left open. Only an entry whose
    // opening the office signed gets a signed seal.
    void sealAbandoned(Signer* signer);
    // Whether this process may take `entry` for abandoned: nobody holds it.
    // On a server the probe's lock is kept until `releaseProbe`.
    bool probeAbandoned(qint64 entry);
    void releaseProbe(qint64 entry);
    Status holdEntry(qint64 entry);
    void releaseEntry(qint64 entry);
    // The entry's row as opened (its number, and a server's login and time
    // into `e`), its opening link, and its seal: through the server's
    // functions on a server.
    Status insertEntry(JournalEntry& e);
    Status writeLink(const JournalEntry& e, const QVariant& signature, int pending);
    Status writeSeal(const JournalEntry& e, qint64 sealNumber, const QVariant& signature, int pending,
                     const QByteArray& linesDigest);
    Status transactionStep(const QString& sql);
    void rollback();
    // Seals with `signer`'s signature, or unsigned when it is null.
    Status sealWith(qint64 entry, const QString& outcome, const QString& message, const QString& counts,
                    const QString& totals, Signer* signer);
    Status sealLocked(qint64 entry, const QString& outcome, const QString& message, const QString& counts,
                      const QString& totals, Signer* signer);
    // The PC's key for an entry about to be written: null when there is
    // none; an error when it cannot be loaded.
    Result<Signer*> officeSigner();
    // A signature over `text` as stored (NULL without a key), marking
    // `pendingBit` in `pending` when its time stamp is still to come.
    Result<QVariant> signText(Signer* signer, const QByteArray& text, int pendingBit, int& pending);
    // A failure that is not the database's: no SQL error behind it.
    Error ownFailure(const Error& error) const;
    // Whether an abandoned entry may be sealed, and whether its seal is signed.
    bool abandonedSealable(const JournalEntry& e, const QSet<QByteArray>& sealedHashes, bool journalSigned,
                           bool& signSeal) const;
    QString lockPath(qint64 entry) const;

    Database& database_;
    mutable QSqlError lastSqlError_;
    // Held while an entry is open, so that other programs can tell an entry
    // in progress from one a killed program left: a lock file beside an
    // SQLite file, a session advisory lock on a server (which the server
    // lets go of when the program's connection ends).
    QHash<qint64, std::shared_ptr<QLockFile>> locks_;
    QSet<qint64> held_;
    QHash<qint64, QByteArray> listedLines_;
    QHash<qint64, std::pair<int, QStringList>> messageSources_;
    QList<qint64> unlinked_;
    mutable StatementCache statements_;
    // Checked signatures by their bytes and content: the fleet verifies the
    // chain once for each unit.
    mutable QHash<QByteArray, SignatureCheck> checked_;
};

// Whether `path` is one of the database's own files, which only SQLite may
// open: opening and closing one elsewhere would drop SQLite's locks on it.
bool isOwnDatabaseFile(const QString& path, Database& database);

// The hex SHA-256 of a file, read a block at a time. The program's own
// database files are refused: only SQLite opens them.
Result<QByteArray> fileSha256(const QString& path, Database& database);

} // namespace tvq52
