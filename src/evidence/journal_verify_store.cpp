#include "evidence/journal.h"

#include "db/database.h"
#include "core/sha256.h"
#include "db/journal_codec.h"
#include "db/merge_functions.h"
#include "db/packed_lines.h"
#include "db/sqlite_statement.h"
#include "evidence/journal_signatures.h"
#include "evidence/journal_scope_sql.h"
#include "evidence/listing_table.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tvq52 {

using namespace journal_codec;

namespace {

// One verification: what each step learns is kept for the steps after it.
// A step returns false when a table could not be read.
class Verification {
public:
    Verification(QSqlDatabase db, const JournalScope& scope, bool server, const QByteArray& keptHead,
                 QHash<QByteArray, SignatureCheck>& checked, bool pcSigns)
        : db_(std::move(db)), scope_(scope), server_(server), keptHead_(keptHead), checked_(checked), pcSigns_(pcSigns)
    {}

    JournalVerification& result() { return result_; }

    bool readEntries();
    bool readLines();
    bool walkChain();
    void closeSigning();
    bool checkStoredRecords();
    void checkListedRecordsStored();
    bool checkTotals();
    void unreadable(const QSqlQuery& q);

private:
    using Listed = ListingTable::Listing;
    using LineRow = JournalLineRow;

    void finding(JournalFinding::Kind kind, qint64 entry, const QString& detail)
    {
        result_.findings.append({kind, entry, {}, {}, detail});
    }
    void checkSealedEntry(const JournalEntry& e, const QByteArray& previousHash, qint64 previousId);
    void checkOpenEntry(const JournalEntry& e);
    void placeSigning(const JournalEntry& e, bool& signedBefore);
    bool readLineRows(const QString& sql, const QVariantList& binds, bool hashEntries, bool take);
    void lineRead(const LineRow& line, bool hashEntries, bool take);
    void takeLine(const LineRow& line);
    void list(const LineRow& line, std::string_view key, const unsigned char* digest);
    bool inScope(std::string_view key) const;
    bool readEntryLines(qint64 entry, bool withRecords);
    bool readUnitLines(const QString& table, const QString& unitHigh);
    bool hashOldEntries();
    void checkLinesRead(qint64 id);
    bool readStoredRows(const TableDef& table, QSqlQuery& q);
    bool checkTable(const TableDef& table);
    // Where a table's columns are in its query's rows.
    struct Columns {
        std::vector<int> positions; // schema column -> result column
        std::vector<int> keyPositions;
        std::vector<const ColumnDef*> keys;
    };
    static Columns columnsOf(const TableDef& table, const QStringList& names);
    bool checkSqliteTable(sqlite3* handle, const TableDef& table, const QString& sql, const QVariantList& binds);
    // `value(i)` gives the current row's column i.
    template <class Value> void checkRecord(const TableDef& table, const Columns& columns, const Value& value);
    template <class Value>
    const unsigned char* canonicalDigest(const TableDef& table, const Columns& columns, int version,
                                         const Value& value);
    const Listed* lookUp(const TableDef& table, std::string_view key);
    void compareDigest(const TableDef& table, std::string_view key, const Listed& listed, const unsigned char* digest);
    bool checkUnitTotals(qint32 unit, const QList<qint64>& reads);
    QByteArray linesDigest(const JournalEntry& e) const;
    void recoverMissingKeys(const std::vector<std::size_t>& unseen);
    std::optional<qint32> unit() const { return scope_.entry ? entryUnit_ : scope_.serial; }

    QSqlDatabase db_;
    JournalScope scope_;
    bool server_ = false;
    QByteArray keptHead_;
    QHash<QByteArray, SignatureCheck>& checked_;
    bool pcSigns_ = false;
    JournalVerification result_;
    QHash<qint64, JournalSigning> signing_;

    QHash<qint64, JournalEntry> entries_;
    QSet<QByteArray> sealedHashes_;
    QSet<qint64> untrusted_;
    ListingTable listed_;
    // With an entry's scope, the lowest and highest key it listed in each table.
    std::map<std::string, std::pair<std::string, std::string>, std::less<>> entryKeys_;
    std::string low_, high_; // the keys in scope, from low_ (none: all) to high_
    bool highIncluded_ = false;
    std::optional<qint32> entryUnit_; // with an entry's scope, its unit
    std::unordered_map<qint64, Sha256> linesHashes_; // while reading an entry's lines
    QHash<qint64, QByteArray> computed_;            // the entries whose lines were all read
    Sha256 digest_;
    MergeFunctions functions_; // a record's key and digest from SQLite's values
    QByteArray rowDigest_;
    std::string key_;
    CanonicalEncoder encoder_; // the same from the values a query gives
    std::string text_;         // a record's canonical text, its buffer kept
    QSet<qint64> touched_;              // entries with a line in scope
    QHash<qint32, qint64> lastDeletion_;      // serial -> newest deletion entry
    QHash<qint32, QList<qint64>> totalsRead_; // serial -> the download entries that read the totals
    QHash<QByteArray, int> sealPosition_;     // hash -> place in the chain, from 1
    bool wholeJournal_ = false;               // every line was read
    // Entries sealed without their lines digest whose lines were all read
    // and whose hash holds: id -> (hash, lines digest), to be kept.
    QHash<qint64, std::pair<QByteArray, QByteArray>> digestsToKeep_;

public:
    // The entries to keep the lines digest of: those above on which no finding bears.
    QHash<qint64, std::pair<QByteArray, QByteArray>> digestsToKeep() const;
};

void Verification::unreadable(const QSqlQuery& q)
{
    result_.findings.append({JournalFinding::Kind::Unreadable,
                             0,
                             {},
                             {},
                             QStringLiteral("the journal cannot be read: %1").arg(q.lastError().text())});
}

// Every entry first: which may be trusted, and in which form each hashed its records.
bool Verification::readEntries()
{
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT %1 FROM \"Diario\"").arg(kEntryColumns))) {
        unreadable(q);
        return false;
    }
    while (q.next()) {
        const JournalEntry e = entryFrom(q);
        entries_.insert(e.id, e);
        if (e.sealed())
            sealedHashes_.insert(e.hash);
        result_.anySigned = result_.anySigned || !e.openingSignature.isEmpty() || !e.sealSignature.isEmpty();
    }
    QList<qint64> ids = entries_.keys();
    std::sort(ids.begin(), ids.end());
    for (qint64 id : std::as_const(ids)) {
        const JournalEntry& e = entries_[id];
        signing_.insert(id, journal_signatures::entrySigning(e, checked_, &result_.findings));
        if (!e.sealed())
            checkOpenEntry(e);
    }
    return true;
}

// Open entries: a running exchange's, one a killed program left (sealed
// "interrupted" by the next exchange), or one the program never opened.
// Their records count only when the program's link, and in a signed
// journal the office's signature, vouch for their opening.
void Verification::checkOpenEntry(const JournalEntry& e)
{
    const JournalSigning& s = signing_[e.id];
    if (!linkHolds(e, sealedHashes_)) {
        untrusted_.insert(e.id);
        finding(JournalFinding::Kind::EntryNotOpened, e.id,
                QStringLiteral("open entry without the program's link: not trusted"));
    } else if (s.isSigned ? !s.trusted : result_.anySigned) {
        untrusted_.insert(e.id);
        if (!s.isSigned)
            finding(JournalFinding::Kind::EntryUnsigned, e.id,
                    QStringLiteral("open entry without the office's signature: not trusted"));
    }
}

// An unsigned entry after a signed one, or one whose opening alone was
// signed, lacks the signature due; those before the first are from before keys.
void Verification::placeSigning(const JournalEntry& e, bool& signedBefore)
{
    JournalSigning s = signing_.value(e.id);
    const bool carries = !e.openingSignature.isEmpty() || !e.sealSignature.isEmpty();
    if (!s.isSigned) {
        if (signedBefore || carries)
            finding(JournalFinding::Kind::EntryUnsigned, e.id,
                    carries ? QStringLiteral("opened signed, sealed without the office's signature")
                            : QStringLiteral("sealed without the office's signature after signed entries"));
        else
            s.beforeKeys = true;
    }
    signedBefore = signedBefore || carries;
    result_.signing << s;
}

// The open entries after the chain; a PC that signs, looking at a journal
// with no signature at all, may be looking at one rebuilt without them.
void Verification::closeSigning()
{
    QList<qint64> open;
    for (const JournalEntry& e : std::as_const(entries_))
        if (!e.sealed())
            open << e.id;
    std::sort(open.begin(), open.end());
    for (qint64 id : std::as_const(open))
        result_.signing << signing_.value(id);
    if (pcSigns_ && !result_.anySigned && !entries_.isEmpty())
        finding(JournalFinding::Kind::EntryUnsigned, 0,
                QStringLiteral("no entry is signed, yet this PC has a key: the signed entries may have been "
                               "removed and the journal rebuilt"));
}

QByteArray emptyLinesDigest()
{
    return Sha256::hex({});
}

// One line: its header into its entry's digest, its records into the listing.
void Verification::lineRead(const LineRow& line, bool hashEntries, bool take)
{
    ++result_.linesRead;
    if (hashEntries) {
        Sha256& h = linesHashes_[line.entry];
        if (line.isPacked)
            h.add(packed_lines::lineText(line.table, line.key, line.lastKey, line.digest));
        else
            h.add(line.table + '\x1f' + line.key + '\x1f' + line.digest + '\x1e');
    }
    if (take)
        takeLine(line);
}

// The lines a query gives (journalLineColumns): hashed into their entry's
// digest when `hashEntries`, taken into the listing when `take`.
bool Verification::readLineRows(const QString& sql, const QVariantList& binds, bool hashEntries, bool take)
{
    const Status read =
        readJournalLines(db_, sql, binds, [&](const LineRow& line) { lineRead(line, hashEntries, take); });
    if (!read) {
        finding(JournalFinding::Kind::Unreadable, 0,
                QStringLiteral("the journal cannot be read: %1").arg(read.error().detail));
        return false;
    }
    for (auto& [entry, hash] : linesHashes_)
        computed_.insert(entry, hash.result().toHex());
    linesHashes_.clear();
    return true;
}

bool Verification::inScope(std::string_view key) const
{
    return low_.empty() || (key >= low_ && (highIncluded_ ? key <= high_ : key < high_));
}

// A listing: the newest line of a key wins.
void Verification::list(const LineRow& line, std::string_view key, const unsigned char* digest)
{
    const std::string_view table(line.table.constData(), std::size_t(line.table.size()));
    if (listed_.list(table, key, line.entry, line.row, digest))
        ++result_.recordsRewritten;
    if (scope_.entry == 0)
        return;
    auto bounds = entryKeys_.find(table);
    if (bounds == entryKeys_.end())
        bounds = entryKeys_.emplace(std::string(table), std::pair{std::string(key), std::string(key)}).first;
    if (key < bounds->second.first)
        bounds->second.first.assign(key);
    if (key > bounds->second.second)
        bounds->second.second.assign(key);
}

// A line's records in scope; a packed line's bytes must be what its digest
// and its ends say.
void Verification::takeLine(const LineRow& line)
{
    touched_.insert(line.entry);
    const bool listing = entries_.contains(line.entry) && !untrusted_.contains(line.entry);
    const auto view = [](const QByteArray& b) { return std::string_view(b.constData(), std::size_t(b.size())); };
    if (!line.isPacked) {
        if (listing && inScope(view(line.key))) {
            packed_lines::Digest raw{};
            const QByteArray bytes = QByteArray::fromHex(line.digest);
            std::memcpy(raw.data(), bytes.constData(), std::min<std::size_t>(raw.size(), std::size_t(bytes.size())));
            list(line, view(line.key), raw.data());
        }
        return;
    }
    const QString where = QStringLiteral("the packed line of %1 from %2 to %3")
                              .arg(QString::fromUtf8(line.table), QString::fromUtf8(line.key),
                                   QString::fromUtf8(line.lastKey));
    if (packed_lines::packedDigest(line.packed) != line.digest) {
        finding(JournalFinding::Kind::EntryAltered, line.entry, QStringLiteral("%1 does not match its digest").arg(where));
        return;
    }
    const Result<std::vector<packed_lines::Record>> records = packed_lines::unpack(line.packed);
    if (!records || records->empty() || view(line.key) != records->front().key
        || view(line.lastKey) != records->back().key) {
        finding(JournalFinding::Kind::EntryAltered, line.entry,
                QStringLiteral("%1 does not hold the keys it names").arg(where));
        return;
    }
    if (!listing)
        return;
    for (const packed_lines::Record& r : *records)
        if (inScope(r.key))
            list(line, r.key, r.digest.data());
}

// The lines the scope asks for, and the digests of the entries whose lines
// the chain needs: those sealed before the digest was kept, and those with
// a line in scope, which must match what they were sealed with.
bool Verification::readLines()
{
    if (scope_.entry != 0) {
        if (const JournalEntry e = entries_.value(scope_.entry); e.serial > 0)
            entryUnit_ = e.serial;
        if (!readEntryLines(scope_.entry, true))
            return false;
        checkLinesRead(scope_.entry);
        return hashOldEntries();
    }
    if (!scope_.serial) {
        if (!readLineRows(QStringLiteral("SELECT %1 FROM \"DiarioRegistros\" ORDER BY rowid").arg(journalLineColumns(true)),
                          {}, true, true))
            return false;
        wholeJournal_ = true;
        for (const JournalEntry& e : std::as_const(entries_))
            checkLinesRead(e.id);
        return true;
    }
    const auto [unitLow, unitHigh] = packed_lines::unitKeyBounds(*scope_.serial);
    low_ = (scope_.fromKey.isEmpty() ? unitLow : scope_.fromKey).toStdString();
    high_ = (scope_.toKey.isEmpty() ? unitHigh : scope_.toKey).toStdString();
    highIncluded_ = !scope_.toKey.isEmpty();
    for (const char* table : kRecordTables)
        if (!readUnitLines(QString::fromUtf8(table), unitHigh))
            return false;
    QList<qint64> touched = touched_.values();
    std::sort(touched.begin(), touched.end());
    for (qint64 id : std::as_const(touched)) {
        const JournalEntry& e = entries_[id];
        if (!e.sealed() || e.linesDigest.isEmpty())
            continue;
        if (!readEntryLines(id, false))
            return false;
        checkLinesRead(id);
    }
    return hashOldEntries();
}

// A table's lines that may hold keys in scope, through the index on their ends.
bool Verification::readUnitLines(const QString& table, const QString& unitHigh)
{
    const QString collate = server_ ? QStringLiteral(" COLLATE \"C\"") : QString();
    QString sql = QStringLiteral("SELECT %3 FROM \"DiarioRegistros\" WHERE \"TTabla\" = ? AND %1%2 >= ? AND %1%2 < ?")
                      .arg(QString::fromLatin1(kJournalLineEndSql), collate, journalLineColumns(true));
    if (highIncluded_)
        sql += QStringLiteral(" AND \"TClave\"%1 <= ?").arg(collate);
    sql += QLatin1String(" ORDER BY rowid");
    QVariantList binds{table, QString::fromStdString(low_), unitHigh};
    if (highIncluded_)
        binds << QString::fromStdString(high_);
    return readLineRows(sql, binds, false, true);
}

// All of one entry's lines, through the index on their entry; the packed
// bytes only when its records are listed.
bool Verification::readEntryLines(qint64 entry, bool withRecords)
{
    const bool read = readLineRows(
        QStringLiteral("SELECT %1 FROM \"DiarioRegistros\" WHERE \"LEntrada\" = ? ORDER BY rowid")
            .arg(journalLineColumns(withRecords)),
        {entry}, true, withRecords);
    if (read && !computed_.contains(entry))
        computed_.insert(entry, emptyLinesDigest());
    return read;
}

// The entries sealed before their lines' digest was kept: their lines give it.
bool Verification::hashOldEntries()
{
    QList<qint64> ids = entries_.keys();
    std::sort(ids.begin(), ids.end());
    for (qint64 id : std::as_const(ids)) {
        const JournalEntry& e = entries_[id];
        if (e.sealed() && e.linesDigest.isEmpty() && !computed_.contains(id) && !readEntryLines(id, false))
            return false;
    }
    return true;
}

// An entry whose lines were all read: they must be what it was sealed with.
void Verification::checkLinesRead(qint64 id)
{
    const JournalEntry e = entries_.value(id);
    if (!e.sealed() || e.linesDigest.isEmpty())
        return;
    if (computed_.value(id, emptyLinesDigest()) != e.linesDigest)
        finding(JournalFinding::Kind::EntryAltered, id,
                QStringLiteral("its lines do not match the digest it was sealed with"));
}

QByteArray Verification::linesDigest(const JournalEntry& e) const
{
    return !e.linesDigest.isEmpty() ? e.linesDigest : computed_.value(e.id, emptyLinesDigest());
}

void Verification::checkSealedEntry(const JournalEntry& e, const QByteArray& previousHash, qint64 previousId)
{
    if (e.previous != previousId)
        finding(JournalFinding::Kind::ChainBroken, e.id,
                QStringLiteral("chained to entry %1, not %2").arg(e.previous).arg(previousId));
    const QByteArray lines = linesDigest(e);
    if (entryHash(previousHash, e, lines) != e.hash)
        finding(JournalFinding::Kind::EntryAltered, e.id,
                QStringLiteral("hash %1 does not match").arg(QString::fromLatin1(e.hash)));
    else if (e.version >= 2 && !linkHolds(e, sealedHashes_))
        finding(JournalFinding::Kind::EntryNotOpened, e.id, QStringLiteral("sealed without the program's link"));
    else if (e.linesDigest.isEmpty() && e.previous == previousId && (wholeJournal_ || computed_.contains(e.id)))
        digestsToKeep_.insert(e.id, {e.hash, lines});
    if (e.action == JournalAction::Restart)
        finding(JournalFinding::Kind::JournalRestarted, e.id,
                QStringLiteral("the journal's tables were missing on %1 and were made again: what was "
                               "stored before has no provenance")
                    .arg(entryAt(e.at)));
}

// The chain, in the order the entries were sealed.
bool Verification::walkChain()
{
    bool keptHeadFound = keptHead_.isEmpty();
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT %1 FROM \"Diario\" WHERE \"THash\" IS NOT NULL ORDER BY \"LSello\"")
                    .arg(kEntryColumns))) {
        unreadable(q);
        return false;
    }
    QByteArray previousHash;
    qint64 previousId = 0;
    bool signedBefore = false;
    while (q.next()) {
        const JournalEntry e = entryFrom(q);
        placeSigning(e, signedBefore);
        if (e.action == JournalAction::UnitDeletion)
            lastDeletion_[e.serial] = std::max(lastDeletion_.value(e.serial), e.id);
        if (e.action == JournalAction::Download && !e.totals.isEmpty() && e.serial > 0)
            totalsRead_[e.serial] << e.id;
        checkSealedEntry(e, previousHash, previousId);
        if (!keptHead_.isEmpty() && e.hash == keptHead_)
            keptHeadFound = true;
        previousHash = e.hash;
        previousId = e.id;
        result_.head = e.hash;
        sealPosition_.insert(e.hash, int(sealPosition_.size()) + 1);
    }
    // A read cut short is no shorter chain.
    if (q.lastError().isValid()) {
        unreadable(q);
        return false;
    }
    if (!keptHeadFound)
        finding(JournalFinding::Kind::HeadMissing, 0,
                QStringLiteral("the kept head %1 is not in the chain").arg(QString::fromLatin1(keptHead_)));
    return true;
}

// Every stored record against the newest entry that listed it.
bool Verification::checkStoredRecords()
{
    for (const char* name : kRecordTables)
        if (!checkTable(*schemaTable(QString::fromUtf8(name))))
            return false;
    return true;
}

// The stored records in scope: the unit's, and with a range or an entry,
// those of the days its keys span (the keys themselves are compared after).
bool Verification::checkTable(const TableDef& table)
{
    QString from = scope_.fromKey, to = scope_.toKey;
    if (scope_.entry != 0) {
        // The keys the entry listed in this table; none: nothing to read.
        const auto bounds = entryKeys_.find(std::string_view(table.name));
        if (bounds == entryKeys_.end())
            return true;
        from = QString::fromStdString(bounds->second.first);
        to = QString::fromStdString(bounds->second.second);
    }
    QVariantList binds;
    const QString sql = storedRowsSql(table, unit(), from, to, server_, binds);
    if (sqlite3* handle = sqliteHandle(db_))
        return checkSqliteTable(handle, table, sql, binds);
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    q.prepare(sql);
    for (const QVariant& v : std::as_const(binds))
        q.addBindValue(v);
    if (!q.exec()) {
        unreadable(q);
        return false;
    }
    const QSqlRecord record = q.record();
    QStringList names;
    for (int i = 0; i < record.count(); ++i)
        names << record.fieldName(i);
    const Columns columns = columnsOf(table, names);
    while (q.next())
        checkRecord(table, columns, [&q](int i) { return q.value(i); });
    if (q.lastError().isValid()) {
        unreadable(q);
        return false;
    }
    return true;
}

// The same straight from SQLite: a million rows through QSqlQuery take
// several times as long as their check.
bool Verification::checkSqliteTable(sqlite3* handle, const TableDef& table, const QString& sql,
                                    const QVariantList& binds)
{
    SqliteStatement rows;
    SqliteStep step = rows.prepare(handle, sql);
    if (!step.failed()) {
        for (int i = 0; i < binds.size(); ++i)
            rows.bind(i, binds[i]);
        QStringList names;
        for (int i = 0; i < rows.columnCount(); ++i)
            names << rows.columnName(i);
        const Columns columns = columnsOf(table, names);
        // A table laid out as ours is hashed from SQLite's own values, as
        // the merge lists them: QVariant and QString for each of a million
        // rows' values cost most of the check.
        bool direct = columns.positions.size() == std::size_t(rows.columnCount());
        for (std::size_t i = 0; direct && i < columns.positions.size(); ++i)
            direct = columns.positions[i] == int(i);
        std::vector<sqlite3_value*> values(direct ? columns.positions.size() + columns.keyPositions.size() : 0);
        while ((step = rows.step()).row()) {
            if (!direct) {
                checkRecord(table, columns, [&rows](int i) { return rows.column(i); });
                continue;
            }
            for (std::size_t i = 0; i < columns.positions.size(); ++i)
                values[i] = rows.value(int(i));
            for (std::size_t k = 0; k < columns.keyPositions.size(); ++k)
                values[columns.positions.size() + k] = values[std::size_t(columns.keyPositions[k])];
            // Copied: the digest reuses the buffer the key was made in.
            key_ = functions_.keyText(table, values.data() + columns.positions.size());
            const std::string& key = key_;
            if (const Listed* listed = lookUp(table, key)) {
                const int version = entries_[listed->entry].version;
                compareDigest(table, key, *listed,
                              version >= 2 ? functions_.rawDigest(table, values.data())
                                           : canonicalDigest(table, columns, version,
                                                             [&rows](int i) { return rows.column(i); }));
            }
        }
    }
    if (step.failed()) {
        finding(JournalFinding::Kind::Unreadable, 0, QStringLiteral("the journal cannot be read: %1").arg(step.message));
        return false;
    }
    return true;
}

Verification::Columns Verification::columnsOf(const TableDef& table, const QStringList& names)
{
    const auto at = [&](const char* name) {
        for (int i = 0; i < names.size(); ++i)
            if (names[i].compare(QLatin1StringView(name), Qt::CaseInsensitive) == 0)
                return i;
        return -1;
    };
    Columns columns;
    for (const ColumnDef& c : table.columns)
        columns.positions.push_back(at(c.name));
    for (const char* k : table.key) {
        columns.keyPositions.push_back(at(k));
        columns.keys.push_back(table.column(QString::fromUtf8(k)));
    }
    return columns;
}

template <class Value>
void Verification::checkRecord(const TableDef& table, const Columns& columns, const Value& value)
{
    key_.clear();
    for (std::size_t i = 0; i < columns.keyPositions.size(); ++i) {
        if (i > 0)
            key_ += canonical::kKeySeparator;
        encoder_.append(key_, columns.keys[i]->type, value(columns.keyPositions[i]), canonical::kKeyVersion);
    }
    const std::string_view keyView(key_);
    if (const Listed* listed = lookUp(table, keyView))
        compareDigest(table, keyView, *listed, canonicalDigest(table, columns, entries_[listed->entry].version, value));
}

// The SHA-256 of a stored row's canonical text in the form `version` hashed,
// valid until the next call.
template <class Value>
const unsigned char* Verification::canonicalDigest(const TableDef& table, const Columns& columns, int version,
                                                   const Value& value)
{
    text_.clear();
    for (std::size_t i = 0; i < columns.positions.size(); ++i) {
        if (i > 0)
            text_ += canonical::kFieldSeparator;
        if (columns.positions[i] >= 0)
            encoder_.append(text_, table.columns[i].type, value(columns.positions[i]), version);
    }
    digest_.reset();
    digest_.add(QByteArrayView(text_.data(), qsizetype(text_.size())));
    rowDigest_ = digest_.result();
    return reinterpret_cast<const unsigned char*>(rowDigest_.constData());
}

// The newest listing of a stored record in scope, counted as checked; none
// (a finding unless the scope is one entry's) when no entry read listed it.
const Verification::Listed* Verification::lookUp(const TableDef& table, std::string_view key)
{
    if (!inScope(key))
        return nullptr;
    const Listed* listed = listed_.see(table.name, key);
    if (!listed) {
        if (scope_.entry != 0)
            return nullptr; // listed, if at all, by an entry this check does not read
        ++result_.recordsNotJournaled;
        result_.findings.append({JournalFinding::Kind::NoProvenance, 0, QString::fromUtf8(table.name),
                                 QString::fromUtf8(key.data(), qsizetype(key.size())),
                                 QStringLiteral("stored by no download, import or merge of the journal")});
        return nullptr;
    }
    ++result_.recordsChecked;
    if (!entries_[listed->entry].sealed())
        ++result_.recordsInOpenEntries;
    return listed;
}

void Verification::compareDigest(const TableDef& table, std::string_view key, const Listed& listed,
                                 const unsigned char* digest)
{
    if (std::memcmp(digest, listed.digest.data(), listed.digest.size()) != 0)
        result_.findings.append({JournalFinding::Kind::RecordEdited, listed.entry, QString::fromUtf8(table.name),
                                 QString::fromUtf8(key.data(), qsizetype(key.size())),
                                 QStringLiteral("values differ from entry %1").arg(listed.entry)});
}

// A record an entry listed that is gone, unless a later deletion of its unit took it.
void Verification::checkListedRecordsStored()
{
    std::vector<std::size_t> unseen;
    for (std::size_t i = 0; i < listed_.size(); ++i)
        if (!listed_.seen(i))
            unseen.push_back(i);
    if (!unseen.empty())
        recoverMissingKeys(unseen);
}

// The listing keeps no key texts: those of the records not seen are read
// again from the lines that listed them, each line once.
void Verification::recoverMissingKeys(const std::vector<std::size_t>& unseen)
{
    std::map<qint64, std::vector<std::size_t>> byLine;
    for (std::size_t i : unseen)
        byLine[listed_.at(i).line].push_back(i);
    std::vector<std::pair<std::size_t, JournalFinding>> missing;
    const QString sql = QStringLiteral("SELECT %1 FROM \"DiarioRegistros\" WHERE rowid = ?").arg(journalLineColumns(true));
    for (const auto& [row, wanted] : byLine) {
        std::map<ListingTable::Hash, std::size_t> waiting;
        for (std::size_t i : wanted)
            waiting.emplace(ListingTable::Hash{listed_.at(i).hash[0], listed_.at(i).hash[1]}, i);
        const auto found = [&](const QByteArray& table, std::string_view key) {
            const auto it = waiting.find(listed_.hashOf(std::string_view(table.constData(), std::size_t(table.size())), key));
            if (it == waiting.end())
                return;
            const Listed& listed = listed_.at(it->second);
            const QString text = QString::fromUtf8(key.data(), qsizetype(key.size()));
            if (lastDeletion_.value(text.section(QLatin1Char(' '), 0, 0).toInt()) <= listed.entry)
                missing.emplace_back(it->second, JournalFinding{JournalFinding::Kind::RecordMissing, listed.entry,
                                                                QString::fromUtf8(table), text,
                                                                QStringLiteral("listed by entry %1, not stored")
                                                                    .arg(listed.entry)});
            waiting.erase(it);
        };
        const Status read = readJournalLines(db_, sql, {row}, [&](const LineRow& line) {
            if (!line.isPacked)
                return found(line.table, std::string_view(line.key.constData(), std::size_t(line.key.size())));
            if (const auto records = packed_lines::unpack(line.packed))
                for (const packed_lines::Record& r : *records)
                    found(line.table, r.key);
        });
        if (!read)
            return finding(JournalFinding::Kind::Unreadable, 0,
                           QStringLiteral("the journal cannot be read: %1").arg(read.error().detail));
    }
    std::sort(missing.begin(), missing.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& [i, f] : missing)
        result_.findings.append(std::move(f));
}

QHash<qint64, std::pair<QByteArray, QByteArray>> Verification::digestsToKeep() const
{
    QHash<qint64, std::pair<QByteArray, QByteArray>> keep = digestsToKeep_;
    for (const JournalFinding& f : result_.findings)
        keep.remove(f.entry);
    return keep;
}

// Each unit's totals against the last download that read them, or one
// that was sealed while that one was open (either may have stored last).
bool Verification::checkTotals()
{
    for (auto it = totalsRead_.cbegin(); it != totalsRead_.cend(); ++it) {
        if ((unit() && it.key() != *unit()) || lastDeletion_.value(it.key()) > it.value().last())
            continue;
        if (!checkUnitTotals(it.key(), it.value()))
            return false;
    }
    return true;
}

bool Verification::checkUnitTotals(qint32 unit, const QList<qint64>& reads)
{
    const JournalEntry& last = entries_[reads.last()];
    const qsizetype space = last.link.indexOf(' ');
    const int openedAt = space > 0 ? sealPosition_.value(last.link.left(space)) : 0;
    QList<qint64> newest;
    for (qint64 id : reads)
        if (id == last.id || (space >= 0 && sealPosition_.value(entries_[id].hash) > openedAt))
            newest << id;
    const Result<std::optional<QString>> read = storedUnitTotals(db_, unit);
    if (!read) {
        finding(JournalFinding::Kind::Unreadable, 0,
                QStringLiteral("the journal cannot be read: %1").arg(read.error().detail));
        return false;
    }
    if (!*read)
        return true; // the unit's record went with it; its deletion is journaled
    const QString& stored = **read;
    bool matches = false;
    for (qint64 id : newest)
        matches = matches || entries_.value(id).totals == stored;
    if (!matches) {
        const QString journaled = entries_.value(newest.last()).totals;
        result_.findings.append({JournalFinding::Kind::TotalsDiffer, newest.last(), QStringLiteral("Programacion"),
                                 QString::number(unit),
                                 QStringLiteral("stored totals \"%1\" differ from entry %2's \"%3\"")
                                     .arg(QString(stored).replace(QLatin1Char('\n'), QStringLiteral("; ")))
                                     .arg(newest.last())
                                     .arg(QString(journaled).replace(QLatin1Char('\n'), QStringLiteral("; ")))});
    }
    return true;
}

} // namespace

JournalVerification Journal::verify(std::optional<qint32> serial, const QByteArray& keptHead) const
{
    return verify(JournalScope{serial, {}, {}, 0}, keptHead);
}

JournalVerification Journal::verify(const JournalScope& scope, const QByteArray& keptHead) const
{
    QSqlDatabase db = database_.connection();
    // One snapshot for the whole check, so a download running meanwhile
    // cannot show up half done.
    const bool snapshot =
        QSqlQuery(db).exec(database_.isServer() ? QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY")
                                                : QStringLiteral("BEGIN"));
    const QList<TrustStore::Entry> trusted = OfficeSigning::trust().entries();
    const bool pcSigns =
        std::any_of(trusted.cbegin(), trusted.cend(), [](const TrustStore::Entry& t) { return t.own; });
    Verification check(db, scope, database_.isServer(), keptHead, checked_, pcSigns);
    // A table that cannot be read ends the check with what was found so far.
    if (check.readEntries() && check.readLines() && check.walkChain()) {
        check.closeSigning();
        if (check.checkStoredRecords()) {
            check.checkListedRecordsStored();
            (void)check.checkTotals();
        }
    }
    if (snapshot)
        QSqlQuery(db).exec(QStringLiteral("COMMIT"));
    // Entries sealed before their lines digest was kept get it now that it
    // was computed and verified, so that scoped checks need not read all
    // their lines again. Only in the check's own transaction, never in a
    // caller's, and never for a database opened to read.
    if (snapshot && !database_.readOnly())
        keepLinesDigests(db, database_.isServer(), check.digestsToKeep());
    return check.result();
}

} // namespace tvq52
