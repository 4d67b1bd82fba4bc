#pragma once

#include "core/canonical_record.h"
#include "db/journal_tables.h"

#include <QByteArray>
#include <QDateTime>
#include <QSet>
#include <QString>
#include <optional>

class QSqlQuery;

// The journal's texts and hashes: what an entry and a record are hashed
// from, shared by writing the journal and verifying it.
namespace tvq52::journal_codec {

// Joins canonical fields; it occurs in no value the program writes.
inline constexpr QChar kSeparator = QChar(char16_t(canonical::kFieldSeparator));
// The form new entries are written in.
inline constexpr int kCurrentVersion = canonical::kCurrentVersion;
// The form new entries are hashed in; their records keep kCurrentVersion's.
inline constexpr int kEntryVersion = 3;
// Joins a message's arguments in "TArgumentosMensaje".
inline constexpr QChar kArgumentSeparator = QChar(char16_t(0x1e));
// Kept in an SQLite file's header once its journal has begun, so that a
// journal removed with its tables is not begun again as if new.
inline constexpr int kJournalBegun = 0x7471'3532;

extern const char* const kRecordTables[5];
// The columns of "Diario" in the order entryFrom reads them.
extern const QString kEntryColumns;
inline constexpr int kEntryColumnCount = 22;

QByteArray sha256Hex(const QByteArray& bytes);
// The canonical text of a value (CanonicalEncoder's).
QString canonicalValue(const ColumnDef& column, const QVariant& value, int version);
QString keyText(const TableDef& table, const Row& row);
QString entryAt(const QDateTime& at);
QString serialText(const JournalEntry& e);
QByteArray entryFields(const JournalEntry& e);
QByteArray openingLink(const QByteArray& headAtOpen, const JournalEntry& e);
bool linkHolds(const JournalEntry& e, const QSet<QByteArray>& sealedHashes);
QByteArray recordLine(const QString& table, const QString& key, const QString& digest);
QByteArray entryHash(const QByteArray& previousHash, const JournalEntry& entry, const QByteArray& linesDigest);
std::optional<JournalAction> actionFromName(const QString& name);
JournalEntry entryFrom(const QSqlQuery& q);
// "TArgumentosMensaje" as stored: NULL without a message number.
QVariant messageArgumentsColumn(const JournalEntry& e);
QVariant messageNumberColumn(const JournalEntry& e);
// The current row of a query by column name.
Row rowFrom(const QSqlQuery& q);
// The hex SHA-256 of an entry's record lines (recordLine() of each, in
// stored order), inside the caller's transaction.
Result<QByteArray> entryLinesDigest(Database& database, qint64 entry);

} // namespace tvq52::journal_codec
