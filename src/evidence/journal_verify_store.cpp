#include "evidence/journal.h"

#include "db/database.h"
#include "db/journal_codec.h"
#include "evidence/journal_signatures.h"

#include <QCryptographicHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <algorithm>
#include <map>

namespace tvq52 {

using namespace journal_codec;

namespace {

// One verification: what each step learns is kept for the steps after it.
// A step returns false when a table could not be read.
class Verification {
public:
    Verification(QSqlDatabase db, std::optional<qint32> serial, const QByteArray& keptHead,
                 QHash<QByteArray, SignatureCheck>& checked, bool pcSigns)
        : db_(std::move(db)), serial_(serial), keptHead_(keptHead), checked_(checked), pcSigns_(pcSigns)
    {}

    JournalVerification& result() { return result_; }

    bool readEntries();
    bool readListedRecords();
    bool walkChain();
    void closeSigning();
    bool checkStoredRecords();
    void checkListedRecordsStored();
    bool checkTotals();
    void unreadable(const QSqlQuery& q);

private:
    struct Listed {
        qint64 entry = 0;
        QString digest;
        bool seen = false;
    };

    void finding(JournalFinding::Kind kind, qint64 entry, const QString& detail)
    {
        result_.findings.append({kind, entry, {}, {}, detail});
    }
    void checkSealedEntry(const JournalEntry& e, const QByteArray& previousHash, qint64 previousId);
    void checkOpenEntry(const JournalEntry& e);
    void placeSigning(const JournalEntry& e, bool& signedBefore);
    bool checkTable(const TableDef& table);
    void checkRecord(const TableDef& table, const QSqlQuery& q, const std::vector<int>& positions,
                     const std::vector<int>& keyPositions);
    bool checkUnitTotals(qint32 unit, const QList<qint64>& reads);
    QByteArray linesDigest(qint64 entry) const;

    QSqlDatabase db_;
    std::optional<qint32> serial_;
    QByteArray keptHead_;
    QHash<QByteArray, SignatureCheck>& checked_;
    bool pcSigns_ = false;
    JournalVerification result_;
    QHash<qint64, JournalSigning> signing_;

    QHash<qint64, JournalEntry> entries_;
    QSet<QByteArray> sealedHashes_;
    QSet<qint64> untrusted_;
    QHash<QString, Listed> listed_; // table + separator + key
    QHash<qint64, QCryptographicHash*> linesHashes_;
    std::vector<std::unique_ptr<QCryptographicHash>> hashOwner_;
    QHash<qint32, qint64> lastDeletion_;      // serial -> newest deletion entry
    QHash<qint32, QList<qint64>> totalsRead_; // serial -> the download entries that read the totals
    QHash<QByteArray, int> sealPosition_;     // hash -> place in the chain, from 1
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

// The records every trusted entry listed, in the order they were written.
bool Verification::readListedRecords()
{
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT \"LEntrada\", \"TTabla\", \"TClave\", \"THuella\" FROM \"DiarioRegistros\" "
                               "ORDER BY rowid"))) {
        unreadable(q);
        return false;
    }
    while (q.next()) {
        const qint64 entry = q.value(0).toLongLong();
        const QString table = q.value(1).toString();
        const QString key = q.value(2).toString();
        const QString digest = q.value(3).toString();
        QCryptographicHash*& h = linesHashes_[entry];
        if (!h) {
            hashOwner_.push_back(std::make_unique<QCryptographicHash>(QCryptographicHash::Sha256));
            h = hashOwner_.back().get();
        }
        h->addData(recordLine(table, key, digest));
        if (untrusted_.contains(entry) || !entries_.contains(entry))
            continue;
        Listed& l = listed_[table + kSeparator + key];
        if (l.entry != 0 && l.entry != entry)
            ++result_.recordsRewritten;
        l.entry = entry;
        l.digest = digest;
    }
    return true;
}

QByteArray Verification::linesDigest(qint64 entry) const
{
    const QCryptographicHash* lines = linesHashes_.value(entry);
    return lines ? lines->result().toHex() : QCryptographicHash::hash({}, QCryptographicHash::Sha256).toHex();
}

void Verification::checkSealedEntry(const JournalEntry& e, const QByteArray& previousHash, qint64 previousId)
{
    if (e.previous != previousId)
        finding(JournalFinding::Kind::ChainBroken, e.id,
                QStringLiteral("chained to entry %1, not %2").arg(e.previous).arg(previousId));
    if (entryHash(previousHash, e, linesDigest(e.id)) != e.hash)
        finding(JournalFinding::Kind::EntryAltered, e.id,
                QStringLiteral("hash %1 does not match").arg(QString::fromLatin1(e.hash)));
    else if (e.version >= 2 && !linkHolds(e, sealedHashes_))
        finding(JournalFinding::Kind::EntryNotOpened, e.id, QStringLiteral("sealed without the program's link"));
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

bool Verification::checkTable(const TableDef& table)
{
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    QString sql = QStringLiteral("SELECT * FROM %1").arg(quoteIdentifier(QString::fromUtf8(table.name)));
    if (serial_)
        sql += QLatin1String(" WHERE \"LNumeroSerie\" = ?");
    q.prepare(sql);
    if (serial_)
        q.addBindValue(*serial_);
    if (!q.exec()) {
        unreadable(q);
        return false;
    }
    const QSqlRecord record = q.record();
    std::vector<int> positions; // schema column -> result column
    for (const ColumnDef& c : table.columns)
        positions.push_back(record.indexOf(QString::fromUtf8(c.name)));
    std::vector<int> keyPositions;
    for (const char* k : table.key)
        keyPositions.push_back(record.indexOf(QString::fromUtf8(k)));
    while (q.next())
        checkRecord(table, q, positions, keyPositions);
    return true;
}

void Verification::checkRecord(const TableDef& table, const QSqlQuery& q, const std::vector<int>& positions,
                               const std::vector<int>& keyPositions)
{
    const QString tableName = QString::fromUtf8(table.name);
    QStringList keyParts;
    for (std::size_t i = 0; i < keyPositions.size(); ++i)
        keyParts << canonicalValue(*table.column(QString::fromUtf8(table.key[i])), q.value(keyPositions[i]), 1);
    const QString key = keyParts.join(QLatin1Char(' '));
    auto found = listed_.find(tableName + kSeparator + key);
    if (found == listed_.end()) {
        ++result_.recordsNotJournaled;
        result_.findings.append({JournalFinding::Kind::NoProvenance, 0, tableName, key,
                                 QStringLiteral("stored by no download, import or merge of the journal")});
        return;
    }
    ++result_.recordsChecked;
    found->seen = true;
    const JournalEntry& by = entries_[found->entry];
    if (!by.sealed())
        ++result_.recordsInOpenEntries;
    QStringList parts;
    parts.reserve(qsizetype(positions.size()));
    for (std::size_t i = 0; i < positions.size(); ++i)
        parts << (positions[i] < 0 ? QString() : canonicalValue(table.columns[i], q.value(positions[i]), by.version));
    const QString digest = QString::fromLatin1(sha256Hex(parts.join(kSeparator).toUtf8()));
    if (digest != found->digest)
        result_.findings.append({JournalFinding::Kind::RecordEdited, found->entry, tableName, key,
                                 QStringLiteral("values differ from entry %1").arg(found->entry)});
}

// A record an entry listed that is gone, unless a later deletion of its unit took it.
void Verification::checkListedRecordsStored()
{
    for (auto it = listed_.cbegin(); it != listed_.cend(); ++it) {
        if (it->seen)
            continue;
        const QString table = it.key().section(kSeparator, 0, 0);
        const QString key = it.key().section(kSeparator, 1);
        const qint32 unit = key.section(QLatin1Char(' '), 0, 0).toInt();
        if (serial_ && unit != *serial_)
            continue;
        if (lastDeletion_.value(unit) > it->entry)
            continue;
        result_.findings.append({JournalFinding::Kind::RecordMissing, it->entry, table, key,
                                 QStringLiteral("listed by entry %1, not stored").arg(it->entry)});
    }
}

// Each unit's totals against the last download that read them, or one
// that was sealed while that one was open (either may have stored last).
bool Verification::checkTotals()
{
    for (auto it = totalsRead_.cbegin(); it != totalsRead_.cend(); ++it) {
        if ((serial_ && it.key() != *serial_) || lastDeletion_.value(it.key()) > it.value().last())
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
    QSqlQuery q(db_);
    q.prepare(
        QStringLiteral("SELECT \"LPasadasLocal\", \"LE3\", \"LCB\", \"LPasadasVecino\", \"DFechaTotales\", "
                       "\"THoraTotales\" FROM \"Programacion\" WHERE \"LNumeroSerie\" = ?"));
    q.addBindValue(unit);
    if (!q.exec()) {
        unreadable(q);
        return false;
    }
    if (!q.next())
        return true; // the unit's record went with it; its deletion is journaled
    const QVariant date = q.value(4);
    const QString readAt = (date.typeId() == QMetaType::QDate           ? date.toDate().toString(Qt::ISODate)
                                : date.typeId() == QMetaType::QDateTime ? date.toDateTime().date().toString(Qt::ISODate)
                                                                        : date.toString().left(10))
        + QLatin1Char(' ') + q.value(5).toString();
    const QString stored =
        QStringLiteral(
            "passes-venue %1\nsensor-inactive %2\nerasures %3\npasses-neighbour "
            "%4\nread-at %5")
            .arg(q.value(0).toString(), q.value(1).toString(), q.value(2).toString(), q.value(3).toString(), readAt);
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
    QSqlDatabase db = database_.connection();
    // One snapshot for the whole check, so a download running meanwhile
    // cannot show up half done.
    const bool snapshot =
        QSqlQuery(db).exec(database_.isServer() ? QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY")
                                                : QStringLiteral("BEGIN"));
    const QList<TrustStore::Entry> trusted = OfficeSigning::trust().entries();
    const bool pcSigns =
        std::any_of(trusted.cbegin(), trusted.cend(), [](const TrustStore::Entry& t) { return t.own; });
    Verification check(db, serial, keptHead, checked_, pcSigns);
    // A table that cannot be read ends the check with what was found so far.
    if (check.readEntries() && check.readListedRecords() && check.walkChain()) {
        check.closeSigning();
        if (check.checkStoredRecords()) {
            check.checkListedRecordsStored();
            (void)check.checkTotals();
        }
    }
    if (snapshot)
        QSqlQuery(db).exec(QStringLiteral("COMMIT"));
    return check.result();
}

} // namespace tvq52
