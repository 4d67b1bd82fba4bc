#include "evidence/journal.h"

#include "core/sha256.h"

#include "db/database.h"
#include "db/journal_codec.h"
#include "db/packed_line_writer.h"
#include "db/packed_lines.h"
#include "db/sql_error.h"
#include "evidence/journal_signatures.h"

#include "core/own_words.h"

#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSet>
#include <QSqlError>
#include <QSqlRecord>
#include <QTimeZone>
#include <algorithm>
#include <filesystem>

namespace tvq52 {

using namespace journal_codec;
namespace signatures = journal_signatures;

namespace {

// Advisory lock keys on a server: one for appending to the chain, and a
// class whose second key is the id of an entry held open.
constexpr qint64 kChainLock = 0x7476'7135'3243'6861;
constexpr int kEntryLockClass = 0x74763532;

// The entries held open through each connection of this process: a server
// grants a session's own advisory lock again, so its answer cannot tell them.
class HeldEntries {
public:
    void add(const QString& connection, qint64 entry)
    {
        const QMutexLocker lock(&mutex_);
        held_[connection].insert(entry);
    }
    void remove(const QString& connection, qint64 entry)
    {
        const QMutexLocker lock(&mutex_);
        held_[connection].remove(entry);
    }
    bool contains(const QString& connection, qint64 entry) const
    {
        const QMutexLocker lock(&mutex_);
        return held_.value(connection).contains(entry);
    }

private:
    mutable QMutex mutex_;
    QHash<QString, QSet<qint64>> held_;
};

HeldEntries& heldEntries()
{
    static HeldEntries held;
    return held;
}

} // namespace

bool isOwnDatabaseFile(const QString& path, Database& database)
{
    for (const QString& own : {database.path(), database.settingsDatabase().path()}) {
        if (own.isEmpty())
            continue;
        for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")}) {
            std::error_code ec;
            if (std::filesystem::equivalent(std::filesystem::path(path.toStdString()),
                                            std::filesystem::path((own + suffix).toStdString()), ec)
                && !ec)
                return true;
        }
    }
    return false;
}

Result<QByteArray> fileSha256(const QString& path, Database& database)
{
    if (isOwnDatabaseFile(path, database))
        return ownWords(QStringLiteral("%1 is the program's own database"), {path});
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return finalText(file.errorString());
    Sha256 hash;
    QByteArray piece(1 << 20, Qt::Uninitialized);
    qint64 n = 0;
    while ((n = file.read(piece.data(), piece.size())) > 0)
        hash.add(QByteArrayView(piece.constData(), qsizetype(n)));
    if (n < 0)
        return finalText(file.errorString());
    return hash.result().toHex();
}

Journal::Journal(Database& database) : database_(database), statements_(database) {}

Journal::~Journal()
{
    for (qint64 entry : QSet<qint64>(held_))
        releaseEntry(entry);
}

QSqlQuery* Journal::statement(const QString& sql) const
{
    QSqlQuery* query = statements_.get(sql);
    if (!query) {
        lastError_ = statements_.lastError();
        lastSqlError_ = statements_.lastSqlError();
    }
    return query;
}

bool Journal::exec(QSqlQuery* query, const QVariantList& binds) const
{
    if (statements_.run(query, binds))
        return true;
    if (query) {
        lastError_ = statements_.lastError();
        lastSqlError_ = statements_.lastSqlError();
    }
    return false;
}

bool Journal::transactionStep(const QString& sql)
{
    if (statements_.execute(sql))
        return true;
    lastError_ = statements_.lastError();
    lastSqlError_ = statements_.lastSqlError();
    return false;
}

void Journal::rollback()
{
    statements_.execute(QStringLiteral("ROLLBACK"));
}

QString Journal::lockPath(qint64 entry) const
{
    return database_.path() + QStringLiteral(".entry-%1.lock").arg(entry);
}

bool Journal::holdEntry(qint64 entry)
{
    if (database_.isServer()) {
        QSqlQuery* lock = statement(QStringLiteral("SELECT pg_advisory_lock(?, ?)"));
        if (!exec(lock, {kEntryLockClass, int(entry)}))
            return false;
        lock->finish();
    } else {
        auto file = std::make_shared<QLockFile>(lockPath(entry));
        file->setStaleLockTime(0);
        // Without its lock file the entry still works; another program may
        // then take it for abandoned.
        if (!file->tryLock(0))
            return true;
        locks_.insert(entry, file);
    }
    held_.insert(entry);
    heldEntries().add(database_.connection().connectionName(), entry);
    return true;
}

void Journal::releaseEntry(qint64 entry)
{
    if (!held_.remove(entry))
        return;
    heldEntries().remove(database_.connection().connectionName(), entry);
    if (database_.isServer())
        releaseProbe(entry);
    else
        locks_.remove(entry);
}

bool Journal::probeAbandoned(qint64 entry)
{
    if (heldEntries().contains(database_.connection().connectionName(), entry))
        return false;
    if (database_.isServer()) {
        QSqlQuery* probe = statement(QStringLiteral("SELECT pg_try_advisory_lock(?, ?)"));
        if (!exec(probe, {kEntryLockClass, int(entry)}))
            return false;
        const bool free = probe->next() && probe->value(0).toBool();
        probe->finish();
        return free;
    }
    QLockFile probe(lockPath(entry));
    // Only a dead owner makes a lock stale, however long a download runs.
    probe.setStaleLockTime(0);
    if (!probe.tryLock(0))
        return false;
    probe.unlock();
    return true;
}

void Journal::releaseProbe(qint64 entry)
{
    if (!database_.isServer())
        return;
    QSqlQuery* unlock = statement(QStringLiteral("SELECT pg_advisory_unlock(?, ?)"));
    if (exec(unlock, {kEntryLockClass, int(entry)}))
        unlock->finish();
}

void Journal::sealAbandoned(Signer* signer)
{
    QSqlQuery* open = statement(QStringLiteral("SELECT %1 FROM \"Diario\" WHERE \"THash\" IS NULL").arg(kEntryColumns));
    if (!exec(open, {}))
        return;
    QList<JournalEntry> entries;
    while (open->next())
        entries << entryFrom(*open);
    open->finish();
    if (entries.isEmpty())
        return;
    QSet<QByteArray> sealedHashes;
    bool journalSigned = false;
    QSqlQuery* hashes = statement(QStringLiteral(
        "SELECT \"THash\", \"TFirmaApertura\" IS NOT NULL OR \"TFirmaCierre\" IS NOT NULL FROM \"Diario\" "
        "WHERE \"THash\" IS NOT NULL"));
    if (!exec(hashes, {}))
        return;
    while (hashes->next()) {
        sealedHashes.insert(hashes->value(0).toString().toLatin1());
        journalSigned = journalSigned || hashes->value(1).toBool();
    }
    hashes->finish();
    unlinked_.clear();
    for (const JournalEntry& e : entries) {
        bool signSeal = false;
        if (!abandonedSealable(e, sealedHashes, journalSigned, signSeal)) {
            unlinked_ << e.id;
            continue;
        }
        if (!probeAbandoned(e.id))
            continue;
        sealWith(e.id, journalOutcomeName(JournalOutcome::Interrupted), {}, {}, {}, signSeal ? signer : nullptr);
        releaseProbe(e.id);
    }
}

namespace {

// An entry as it is opened now: no unit is stored as serial 0.
JournalEntry newEntry(JournalAction action, qint32 serial, const QString& line)
{
    JournalEntry e;
    e.at = QDateTime::currentDateTime();
    e.action = action;
    e.serial = std::max(serial, 0);
    e.line = line;
    e.version = kCurrentVersion;
    return e;
}

} // namespace

std::optional<qint64> Journal::open(JournalAction action, qint32 serial, const QString& line, const QByteArray& source)
{
    // A key that cannot be loaded stops the exchange before anything is stored.
    Signer* signer = nullptr;
    if (!officeSigner(signer))
        return std::nullopt;
    if (signer)
        addPendingTimeStamps();
    sealAbandoned(signer);
    // The entry is held before anyone else can see it, so that nobody takes
    // it for abandoned in between; its link is written with it.
    if (!transactionStep(database_.isServer() ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE")))
        return std::nullopt;
    JournalEntry e = newEntry(action, serial, line);
    e.source = source;
    QSqlQuery* insert =
        statement(QStringLiteral("INSERT INTO \"Diario\" (\"TFechaHora\", \"TAccion\", \"LNumeroSerie\", \"TLinea\", "
                                 "\"IVersion\", \"TOrigen\") VALUES (?, ?, ?, ?, ?, ?) RETURNING \"LId\""));
    if (!exec(insert,
              {entryAt(e.at), journalActionName(action), e.serial > 0 ? QVariant(e.serial) : QVariant(), line,
               e.version, source.isEmpty() ? QVariant() : QVariant(QString::fromLatin1(source))})
        || !insert->next()) {
        rollback();
        return std::nullopt;
    }
    e.id = insert->value(0).toLongLong();
    insert->finish();
    QSqlQuery* head =
        statement(QStringLiteral("SELECT \"THash\" FROM \"Diario\" WHERE \"THash\" IS NOT NULL "
                                 "ORDER BY \"LSello\" DESC LIMIT 1"));
    if (!exec(head, {})) {
        rollback();
        return std::nullopt;
    }
    const QByteArray headHash = head->next() ? head->value(0).toString().toLatin1() : QByteArray();
    head->finish();
    e.link = openingLink(headHash, e);
    QVariant signature;
    int pending = 0;
    if (!signText(signer, signatures::openingText(e.link), signature, kOpeningStampPending, pending)
        || !exec(statement(QStringLiteral("UPDATE \"Diario\" SET \"TEnlace\" = ?, \"TFirmaApertura\" = ?, "
                                          "\"ISelloPendiente\" = ? WHERE \"LId\" = ?")),
                 {QString::fromLatin1(e.link), signature, signatures::pendingColumn(pending), e.id})) {
        rollback();
        return std::nullopt;
    }
    const qint64 id = e.id;
    if (!holdEntry(id) || !transactionStep(QStringLiteral("COMMIT"))) {
        rollback();
        releaseEntry(id);
        return std::nullopt;
    }
    if (pending != 0)
        addPendingTimeStamps();
    return id;
}

Status Journal::addRowsAfter(QSqlDatabase db, qint64 entry, const QString& tableName, qint64 afterRow)
{
    const TableDef* table = schemaTable(tableName);
    if (!table
        || std::find_if(
               std::begin(kRecordTables), std::end(kRecordTables),
               [&](const char* t) { return tableName.compare(QString::fromUtf8(t), Qt::CaseInsensitive) == 0; })
            == std::end(kRecordTables))
        return {};
    const auto fail = [](const QSqlQuery& q) -> Status { return sqlError(q.lastError()); };
    QSqlQuery open(db);
    open.prepare(QStringLiteral("SELECT 1 FROM \"Diario\" WHERE \"LId\" = ? AND \"THash\" IS NULL"));
    open.addBindValue(entry);
    if (!open.exec())
        return fail(open);
    if (!open.next())
        return ownWords(QStringLiteral("Journal entry %1 is not open"), {QString::number(entry)});
    open.finish();
    const QString name = QString::fromUtf8(table->name);
    QSqlQuery rows(db);
    rows.prepare(QStringLiteral("SELECT * FROM %1 WHERE %2 > ? ORDER BY %2")
                     .arg(quoteIdentifier(name), QString::fromLatin1(kServerRowId)));
    rows.addBindValue(afterRow);
    if (!rows.exec())
        return fail(rows);
    // Read to the end before the first insert on the same connection.
    QList<Row> added;
    while (rows.next())
        added << rowFrom(rows);
    rows.finish();
    packed_lines::Packer packer;
    Sha256 hash;
    for (const Row& row : std::as_const(added)) {
        hash.reset();
        hash.add(canonicalRowText(name, row, kCurrentVersion).toUtf8());
        packer.add(table->name, keyText(*table, row).toStdString(),
                   reinterpret_cast<const unsigned char*>(hash.result().constData()));
    }
    QSqlQuery insert(db);
    insert.prepare(QString::fromLatin1(kJournalPackedLineSql));
    for (const packed_lines::Line& line : packer.take(true)) {
        insert.addBindValue(entry);
        insert.addBindValue(QString::fromUtf8(line.table));
        insert.addBindValue(QString::fromUtf8(line.firstKey));
        insert.addBindValue(QString::fromUtf8(line.lastKey));
        insert.addBindValue(line.packed);
        insert.addBindValue(QString::fromLatin1(line.digest));
        if (!insert.exec())
            return fail(insert);
    }
    return {};
}

Result<qint64> Journal::lastRow(QSqlDatabase db, const QString& table)
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT coalesce(max(%1), 0) FROM %2")
                    .arg(QString::fromLatin1(kServerRowId), quoteIdentifier(table)))
        || !q.next())
        return sqlError(q.lastError());
    return q.value(0).toLongLong();
}

bool Journal::addRecord(qint64 entry, const QString& tableName, const Row& storedRow)
{
    const TableDef* table = schemaTable(tableName);
    if (!table) {
        lastError_ = QStringLiteral("No table %1").arg(tableName);
        return false;
    }
    // Listed only while the entry is open, in one statement: a record costs
    // its download no more than one round trip here.
    const QString digest =
        QString::fromLatin1(sha256Hex(canonicalRowText(tableName, storedRow, kCurrentVersion).toUtf8()));
    if (std::find_if(std::begin(kRecordTables), std::end(kRecordTables),
                     [&](const char* t) { return tableName.compare(QString::fromUtf8(t), Qt::CaseInsensitive) == 0; })
        == std::end(kRecordTables))
        return true; // only the record tables need their provenance
    QSqlQuery* insert = statement(QString::fromLatin1(kJournalListRecordSql));
    if (!exec(insert, {entry, QString::fromUtf8(table->name), keyText(*table, storedRow), digest, entry}))
        return false;
    if (insert->numRowsAffected() != 1) {
        lastError_ = QStringLiteral("Journal entry %1 is not open").arg(entry);
        return false;
    }
    return true;
}

bool Journal::setProvenance(qint64 entry, const QString& text)
{
    QSqlQuery* update =
        statement(QStringLiteral("UPDATE \"Diario\" SET \"TProcedencia\" = ? WHERE \"LId\" = ? AND \"THash\" IS NULL"));
    if (!exec(update, {text.isEmpty() ? QVariant() : QVariant(text), entry}))
        return false;
    if (update->numRowsAffected() != 1) {
        lastError_ = QStringLiteral("Journal entry %1 is not open").arg(entry);
        return false;
    }
    return true;
}

bool Journal::seal(qint64 entry, const QString& outcome, const QString& message, const QString& counts,
                   const QString& totals)
{
    Signer* signer = nullptr;
    return officeSigner(signer) && sealWith(entry, outcome, message, counts, totals, signer);
}

bool Journal::sealWith(qint64 entry, const QString& outcome, const QString& message, const QString& counts,
                       const QString& totals, Signer* signer)
{
    // Appends are serialized: two programs sealing at once would otherwise
    // both chain to the same head. SQLite takes its write lock from the
    // start; a server an advisory lock that the commit lets go of.
    const bool server = database_.isServer();
    if (!transactionStep(server ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE")))
        return false;
    if (server) {
        QSqlQuery* chain = statement(QStringLiteral("SELECT pg_advisory_xact_lock(?)"));
        if (!exec(chain, {kChainLock})) {
            rollback();
            return false;
        }
        chain->finish();
    }
    const bool ok = sealLocked(entry, outcome, message, counts, totals, signer);
    if (!ok || !transactionStep(QStringLiteral("COMMIT"))) {
        rollback();
        return false;
    }
    releaseEntry(entry);
    if (signer)
        addPendingTimeStamps();
    return true;
}

// The newest sealed entry: the one a new seal links to, and the seal's number.
bool Journal::readChainHead(qint64& previous, QByteArray& previousHash, qint64& sealNumber) const
{
    QSqlQuery* head =
        statement(QStringLiteral("SELECT \"LId\", \"THash\", \"LSello\" FROM \"Diario\" WHERE "
                                 "\"THash\" IS NOT NULL ORDER BY \"LSello\" DESC LIMIT 1"));
    if (!exec(head, {}))
        return false;
    if (head->next()) {
        previous = head->value(0).toLongLong();
        previousHash = head->value(1).toString().toLatin1();
        sealNumber = head->value(2).toLongLong() + 1;
    }
    head->finish();
    return true;
}

bool Journal::sealLocked(qint64 entry, const QString& outcome, const QString& message, const QString& counts,
                         const QString& totals, Signer* signer)
{
    QSqlQuery* read = statement(QStringLiteral("SELECT %1 FROM \"Diario\" WHERE \"LId\" = ?").arg(kEntryColumns));
    if (!exec(read, {entry}))
        return false;
    if (!read->next()) {
        lastError_ = QStringLiteral("No journal entry %1").arg(entry);
        return false;
    }
    JournalEntry e = entryFrom(*read);
    read->finish();
    if (e.sealed()) {
        lastError_ = QStringLiteral("Journal entry %1 is already sealed").arg(entry);
        return false;
    }
    QByteArray previousHash;
    qint64 sealNumber = 1;
    if (!readChainHead(e.previous, previousHash, sealNumber))
        return false;

    const QByteArray kept = listedLines_.take(entry);
    const Result<QByteArray> linesDigest = kept.isEmpty() ? entryLinesDigest(database_, entry) : Result(kept);
    if (!linesDigest) {
        lastError_ = linesDigest.error().detail;
        return false;
    }

    e.outcome = outcome;
    e.message = message;
    e.counts = counts;
    e.totals = totals;
    e.hash = entryHash(previousHash, e, *linesDigest);
    QVariant signature;
    int pending = e.stampPending & kOpeningStampPending;
    return signText(signer, signatures::sealText(e.hash), signature, kSealStampPending, pending)
        && exec(statement(QStringLiteral("UPDATE \"Diario\" SET \"TResultado\" = ?, \"TMensaje\" = ?, "
                                         "\"TRecuentos\" = ?, \"TTotales\" = ?, \"THash\" = ?, \"LAnterior\" = ?, "
                                         "\"LSello\" = ?, \"TFirmaCierre\" = ?, \"ISelloPendiente\" = ?, "
                                         "\"THuellaLineas\" = ? WHERE \"LId\" = ?")),
                {outcome, message, counts, totals, QString::fromLatin1(e.hash), e.previous, sealNumber, signature,
                 signatures::pendingColumn(pending), QString::fromLatin1(*linesDigest), entry});
}

bool Journal::append(JournalAction action, qint32 serial, const QString& line, const QString& outcome,
                     const QString& message)
{
    const std::optional<qint64> entry = open(action, serial, line);
    return entry && seal(*entry, outcome, message);
}

bool Journal::appendInTransaction(JournalAction action, qint32 serial, const QString& line, const QString& outcome,
                                  const QString& message)
{
    Signer* signer = nullptr;
    if (!officeSigner(signer))
        return false;
    if (database_.isServer()) {
        QSqlQuery* chain = statement(QStringLiteral("SELECT pg_advisory_xact_lock(?)"));
        if (!exec(chain, {kChainLock}))
            return false;
        chain->finish();
    }
    JournalEntry e = newEntry(action, serial, line);
    QSqlQuery* insert =
        statement(QStringLiteral("INSERT INTO \"Diario\" (\"TFechaHora\", \"TAccion\", \"LNumeroSerie\", \"TLinea\", "
                                 "\"IVersion\") VALUES (?, ?, ?, ?, ?) RETURNING \"LId\""));
    if (!exec(
            insert,
            {entryAt(e.at), journalActionName(action), e.serial > 0 ? QVariant(e.serial) : QVariant(), line, e.version})
        || !insert->next())
        return false;
    e.id = insert->value(0).toLongLong();
    insert->finish();
    QByteArray previousHash;
    qint64 sealNumber = 1;
    if (!readChainHead(e.previous, previousHash, sealNumber))
        return false;
    e.link = openingLink(previousHash, e);
    const Result<QByteArray> linesDigest = entryLinesDigest(database_, e.id);
    if (!linesDigest) {
        lastError_ = linesDigest.error().detail;
        return false;
    }
    e.outcome = outcome;
    e.message = message;
    e.hash = entryHash(previousHash, e, *linesDigest);
    QVariant opening, sealing;
    int pending = 0;
    return signText(signer, signatures::openingText(e.link), opening, kOpeningStampPending, pending)
        && signText(signer, signatures::sealText(e.hash), sealing, kSealStampPending, pending)
        && exec(statement(QStringLiteral("UPDATE \"Diario\" SET \"TResultado\" = ?, \"TMensaje\" = ?, "
                                         "\"TRecuentos\" = ?, \"TTotales\" = ?, \"THash\" = ?, \"LAnterior\" = ?, "
                                         "\"LSello\" = ?, \"TEnlace\" = ?, \"TFirmaApertura\" = ?, "
                                         "\"TFirmaCierre\" = ?, \"ISelloPendiente\" = ?, \"THuellaLineas\" = ? "
                                         "WHERE \"LId\" = ?")),
                {outcome, message, QString(), QString(), QString::fromLatin1(e.hash), e.previous, sealNumber,
                 QString::fromLatin1(e.link), opening, sealing, signatures::pendingColumn(pending),
                 QString::fromLatin1(*linesDigest), e.id});
}

QList<JournalEntry> Journal::entries(std::optional<qint32> serial) const
{
    QList<JournalEntry> list;
    QString sql = QStringLiteral("SELECT %1 FROM \"Diario\"").arg(kEntryColumns);
    QVariantList binds;
    if (serial) {
        sql += QLatin1String(" WHERE \"LNumeroSerie\" = ?");
        binds << *serial;
    }
    sql += QLatin1String(" ORDER BY \"LId\" DESC");
    QSqlQuery* q = statement(sql);
    if (!exec(q, binds))
        return list;
    while (q->next())
        list << entryFrom(*q);
    q->finish();
    return list;
}

std::optional<QDateTime> Journal::oldestIntervalSinceLastCompletedDownload(qint32 serial) const
{
    const QString download = journalActionName(JournalAction::Download);
    QSqlQuery* q = statement(QStringLiteral(
        "SELECT min(r.\"TClave\") FROM \"DiarioRegistros\" r JOIN \"Diario\" d ON d.\"LId\" = r.\"LEntrada\" "
        "WHERE d.\"LNumeroSerie\" = ? AND d.\"TAccion\" = ? AND r.\"TTabla\" = 'Intervalos' AND d.\"LId\" > "
        "(SELECT coalesce(max(\"LId\"), 0) FROM \"Diario\" WHERE \"LNumeroSerie\" = ? AND \"TAccion\" = ? AND "
        "\"TResultado\" = ?)"));
    if (!exec(q, {serial, download, serial, download, journalOutcomeName(JournalOutcome::Completed)}))
        return std::nullopt;
    std::optional<QDateTime> oldest;
    if (q->next() && !q->value(0).isNull()) {
        // Keys read "serial yyyy-mm-dd hh:nn"; one unit's sort by date and
        // time. A packed line's "TClave" is its first key, the least it holds.
        const QStringList key = q->value(0).toString().split(QLatin1Char(' '));
        if (key.size() == 3) {
            const QDateTime at(QDate::fromString(key[1], Qt::ISODate),
                               QTime::fromString(key[2], QStringLiteral("hh:mm")), QTimeZone::utc());
            if (at.isValid())
                oldest = at;
        }
    }
    q->finish();
    return oldest;
}

QByteArray Journal::head() const
{
    QSqlQuery* q =
        statement(QStringLiteral("SELECT \"THash\" FROM \"Diario\" WHERE \"THash\" IS NOT NULL "
                                 "ORDER BY \"LSello\" DESC LIMIT 1"));
    if (!exec(q, {}))
        return {};
    const QByteArray hash = q->next() ? q->value(0).toString().toLatin1() : QByteArray();
    q->finish();
    return hash;
}

DatabaseFailure Journal::lastFailure() const
{
    if (database_.isServer() && (!database_.connection().isOpen() || isConnectionLoss(lastSqlError_)))
        return DatabaseFailure{DatabaseFailure::Kind::ConnectionLost, lastError_};
    if (lastSqlError_.type() == QSqlError::NoError)
        return DatabaseFailure{DatabaseFailure::Kind::Other, lastError_};
    DatabaseFailure f = databaseFailure(lastSqlError_, database_.isServer());
    if (!lastError_.isEmpty())
        f.detail = lastError_;
    return f;
}

} // namespace tvq52
