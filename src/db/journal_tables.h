#pragma once

#include "core/error.h"
#include "db/store.h"

#include <QByteArray>
#include <QDateTime>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <cstdint>

// The journal's tables as the store holds them: the rows of "Diario" and
// "DiarioRegistros", their schema, and the entries the store writes itself
// when it finds them missing. Keeping and checking the chain is evidence's.
namespace tvq52 {

// The last key of a journal line: a packed line keeps it in "TClaveFin",
// a one-record line's is its key. "IX_DiarioRegistrosClave" indexes it.
extern const char* const kJournalLineEndSql;

// Lists one record in an entry only while it is open; parameters: the
// entry, the table, the key text, the digest, and the entry again.
extern const char* const kJournalListRecordSql;
// Lists a line in an open entry on a server; parameters: the entry, the
// table, the first key, the last key (NULL: one record), the packed records
// (NULL: one record) and the digest.
extern const char* const kServerJournalLineSql;

// What an exchange or a database operation did.
enum class JournalAction : std::uint8_t {
    Download,
    ProgramReceive,
    ProgramTransmit,
    UnitDeletion,
    Merge,
    Import,
    Adopt,  // the records a database held when its journal began
    Restart // the journal's tables were found missing and made again
};
// The word kept in the table and printed: "download", "receive", "transmit",
// "delete", "merge", "import", "adopt", "restart".
QString journalActionName(JournalAction action);

// How an entry ended.
enum class JournalOutcome : std::uint8_t { Completed, Stopped, Failed, Cancelled, Interrupted };
// The word kept in the table and printed: "completed", "stopped", "failed",
// "cancelled", "interrupted".
QString journalOutcomeName(JournalOutcome outcome);

// One entry of the exchange journal, as stored.
struct JournalEntry {
    qint64 id = 0;
    QDateTime at; // the PC's time the entry was opened
    JournalAction action = JournalAction::Download;
    qint32 serial = 0; // 0: no unit, or one never identified (kept as NULL)
    QString line;      // "cable", "modem" or empty (a merge, a deletion)
    QString outcome;   // journalOutcomeName's words
    QString message;   // what the user was told, in the user's language
    // Per kind: "kind added rewritten refused" lines; the totals read as plain values.
    QString counts;
    QString totals;
    QByteArray hash;     // hex SHA-256; empty while the entry is open
    qint64 previous = 0; // the entry whose hash this one chains to
    // 1: the first form (levels to 0.1 dB); 2: values exactly as stored,
    // and the opening link and source below in the hash; 3: the user and
    // the message's number and arguments too.
    int version = 1;
    // Written with the opening: the chain's head then and a hash over the
    // opening fields, so that an entry made by hand is told apart.
    QByteArray link;
    QByteArray source; // hex SHA-256 of an imported or merged file
    // What an imported file said of where it comes from (its digest, the
    // writing journal's head and entries); in the hash only when not empty.
    QString provenance;
    // DER CMS signatures by the office's key: the opening over the link, the
    // seal over the hash. Empty when the PC had no key; outside the hash.
    QByteArray openingSignature;
    QByteArray sealSignature;
    // Which of them still wait for the time stamp an authority did not give
    // (kOpeningStampPending, kSealStampPending).
    int stampPending = 0;
    // The hex SHA-256 of the entry's lines as sealed (empty for entries
    // sealed before it was kept): the chain is walked without its lines.
    QByteArray linesDigest;
    // From version 3, in the hash: the login a server opened the entry for
    // (empty in a file), and the catalogue number and arguments of the
    // message, so that it is shown in the reader's language (0: none).
    QString user;
    int messageNumber = 0;
    QStringList messageArguments;
    bool sealed() const { return !hash.isEmpty(); }
};
inline constexpr int kOpeningStampPending = 1;
inline constexpr int kSealStampPending = 2;

// Whether the database holds a table of that name.
Result<bool> tableExists(QSqlDatabase db, const QString& table, SqlDialect dialect);

// The statements that create the journal's tables and indexes.
QStringList journalSchemaStatements(SqlDialect dialect = SqlDialect::SQLite);
// Adds the journal's tables, and the columns later versions added, to a
// database that lacks them. Records already stored when the journal begins
// are adopted by one entry. A database whose journal was there once and is
// gone gets a "restart" entry instead, which verification reports: SQLite
// keeps that mark in the file's header, a server database always had one.
Status ensureJournalTables(QSqlDatabase db, SqlDialect dialect = SqlDialect::SQLite);
// On a server: the triggers that keep the journal (the login and time of
// each entry set by the server, lines and seals only by the entry's login,
// nothing else changed or deleted) and the functions the program writes it
// through. Part of the lay-out; run again, it replaces them.
Status installServerJournalObjects(QSqlDatabase db);

// The canonical text of a row's values: the table's columns in order, ISO
// dates, "hh:nn" times as stored, booleans 0/1, NULL empty; levels to 0.1 in
// version 1, with nine significant digits (a single exactly) from version 2.
QString canonicalRowText(const QString& table, const Row& row, int version = 2);

} // namespace tvq52
