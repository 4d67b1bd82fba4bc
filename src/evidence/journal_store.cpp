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

Result<QSqlQuery*> Journal::run(const QString& sql, const QVariantList& binds) const
{
    Result<QSqlQuery*> query = statements_.get(sql);
    if (!query) {
        lastSqlError_ = statements_.lastSqlError();
        return query;
    }
    if (Status done = statements_.run(**query, binds); !done) {
        lastSqlError_ = statements_.lastSqlError();
        return done.error();
    }
    return query;
}

Status Journal::transactionStep(const QString& sql)
{
    Status done = statements_.execute(sql);
    if (!done)
        lastSqlError_ = statements_.lastSqlError();
    return done;
}

void Journal::rollback()
{
    (void)statements_.execute(QStringLiteral("ROLLBACK"));
}

Error Journal::ownFailure(const Error& error) const
{
    lastSqlError_ = QSqlError();
    return finalText(untranslatedText(error));
}

QString Journal::lockPath(qint64 entry) const
{
    return database_.path() + QStringLiteral(".entry-%1.lock").arg(entry);
}

Status Journal::holdEntry(qint64 entry)
{
    if (database_.isServer()) {
        const Result<QSqlQuery*> lock =
            run(QStringLiteral("SELECT pg_advisory_lock(?, ?)"), {kEntryLockClass, int(entry)});
        if (!lock)
            return lock.error();
        (*lock)->finish();
    } else {
        auto file = std::make_shared<QLockFile>(lockPath(entry));
        file->setStaleLockTime(0);
        // Without its lock file the entry still works; another program may
        // then take it for abandoned.
        if (!file->tryLock(0))
            return {};
        locks_.insert(entry, file);
    }
    held_.insert(entry);
    heldEntries().add(database_.connection().connectionName(), entry);
    return {};
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
        const Result<QSqlQuery*> probe =
            run(QStringLiteral("SELECT pg_try_advisory_lock(?, ?)"), {kEntryLockClass, int(entry)});
        if (!probe)
            return false;
        const bool free = (*probe)->next() && (*probe)->value(0).toBool();
        (*probe)->finish();
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
    if (const Result<QSqlQuery*> unlock =
            run(QStringLiteral("SELECT pg_advisory_unlock(?, ?)"), {kEntryLockClass, int(entry)}))
        (*unlock)->finish();
}

void Journal::sealAbandoned(Signer* signer)
{
    // A server lets only the login that opened an entry seal it.
    const Result<QSqlQuery*> open =
        run(QStringLiteral("SELECT %1, %2 FROM \"Diario\" WHERE \"THash\" IS NULL")
                .arg(kEntryColumns, database_.isServer() ? QStringLiteral("\"TUsuario\" IS NOT DISTINCT FROM session_user")
                                                         : QStringLiteral("1 = 1")),
            {});
    if (!open)
        return;
    QList<JournalEntry> entries;
    QSet<qint64> others;
    while ((*open)->next()) {
        entries << entryFrom(**open);
        if (!(*open)->value(kEntryColumnCount).toBool())
            others.insert(entries.last().id);
    }
    (*open)->finish();
    if (entries.isEmpty())
        return;
    QSet<QByteArray> sealedHashes;
    bool journalSigned = false;
    const Result<QSqlQuery*> hashes = run(QStringLiteral("SELECT \"THash\", \"TFirmaApertura\" IS NOT NULL OR "
                                                         "\"TFirmaCierre\" IS NOT NULL FROM \"Diario\" "
                                                         "WHERE \"THash\" IS NOT NULL"),
                                          {});
    if (!hashes)
        return;
    while ((*hashes)->next()) {
        sealedHashes.insert((*hashes)->value(0).toString().toLatin1());
        journalSigned = journalSigned || (*hashes)->value(1).toBool();
    }
    (*hashes)->finish();
    unlinked_.clear();
    for (const JournalEntry& e : entries) {
        bool signSeal = false;
        if (!abandonedSealable(e, sealedHashes, journalSigned, signSeal)) {
            unlinked_ << e.id;
            continue;
        }
        if (others.contains(e.id) || !probeAbandoned(e.id))
            continue;
        // One left open stays a finding of the check; the next opening tries again.
        (void)sealWith(e.id, journalOutcomeName(JournalOutcome::Interrupted), {}, {}, {}, signSeal ? signer : nullptr);
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
    e.version = kEntryVersion;
    return e;
}

} // namespace

Status Journal::insertEntry(JournalEntry& e)
{
    const QVariant serial = e.serial > 0 ? QVariant(e.serial) : QVariant(QMetaType(QMetaType::Int));
    const QVariant source = e.source.isEmpty() ? QVariant(QMetaType(QMetaType::QString))
                                               : QVariant(QString::fromLatin1(e.source));
    const QString action = journalActionName(e.action);
    // A server sets the entry's login and time itself; the hash covers them.
    const bool server = database_.isServer();
    const Result<QSqlQuery*> insert =
        server ? run(QStringLiteral("SELECT entry, opened, login FROM tvq52_journal_open(?, ?, ?, ?, ?)"),
                     {action, serial, e.line, e.version, source})
               : run(QStringLiteral("INSERT INTO \"Diario\" (\"TFechaHora\", \"TAccion\", \"LNumeroSerie\", "
                                    "\"TLinea\", \"IVersion\", \"TOrigen\") VALUES (?, ?, ?, ?, ?, ?) RETURNING \"LId\""),
                     {entryAt(e.at), action, serial, e.line, e.version, source});
    if (!insert)
        return insert.error();
    if (!(*insert)->next())
        return sqlError((*insert)->lastError());
    e.id = (*insert)->value(0).toLongLong();
    if (server) {
        e.at = QDateTime::fromString((*insert)->value(1).toString(), QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
        e.user = (*insert)->value(2).toString();
    }
    (*insert)->finish();
    return {};
}

Status Journal::writeLink(const JournalEntry& e, const QVariant& signature, int pending)
{
    const QVariantList binds{QString::fromLatin1(e.link), signature, signatures::pendingColumn(pending), e.id};
    return run(database_.isServer() ? QStringLiteral("SELECT tvq52_journal_link(?, ?, ?, ?)")
                                    : QStringLiteral("UPDATE \"Diario\" SET \"TEnlace\" = ?, \"TFirmaApertura\" = ?, "
                                                     "\"ISelloPendiente\" = ? WHERE \"LId\" = ?"),
               database_.isServer() ? QVariantList{e.id, binds[0], binds[1], binds[2]} : binds)
        .status();
}

Result<qint64> Journal::open(JournalAction action, qint32 serial, const QString& line, const QByteArray& source)
{
    // A key that cannot be loaded stops the exchange before anything is stored.
    const Result<Signer*> signer = officeSigner();
    if (!signer)
        return signer.error();
    // Stamps that still cannot be added wait for a later opening.
    if (*signer)
        (void)addPendingTimeStamps();
    sealAbandoned(*signer);
    // The entry is held before anyone else can see it, so that nobody takes
    // it for abandoned in between; its link is written with it.
    if (Status begun =
            transactionStep(database_.isServer() ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE"));
        !begun)
        return begun.error();
    const auto fail = [&](const Error& error) -> Error {
        rollback();
        return error;
    };
    JournalEntry e = newEntry(action, serial, line);
    e.source = source;
    if (Status inserted = insertEntry(e); !inserted)
        return fail(inserted.error());
    const Result<QSqlQuery*> head = run(QStringLiteral("SELECT \"THash\" FROM \"Diario\" WHERE \"THash\" IS NOT NULL "
                                                       "ORDER BY \"LSello\" DESC LIMIT 1"),
                                        {});
    if (!head)
        return fail(head.error());
    const QByteArray headHash = (*head)->next() ? (*head)->value(0).toString().toLatin1() : QByteArray();
    (*head)->finish();
    e.link = openingLink(headHash, e);
    int pending = 0;
    const Result<QVariant> signature =
        signText(*signer, signatures::openingText(e.link), kOpeningStampPending, pending);
    if (!signature)
        return fail(signature.error());
    if (Status linked = writeLink(e, *signature, pending); !linked)
        return fail(linked.error());
    const qint64 id = e.id;
    Status held = holdEntry(id);
    if (held)
        held = transactionStep(QStringLiteral("COMMIT"));
    if (!held) {
        rollback();
        releaseEntry(id);
        return held.error();
    }
    if (pending != 0)
        (void)addPendingTimeStamps();
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
    insert.prepare(QString::fromLatin1(db.driverName() == QLatin1String("QPSQL") ? kServerJournalLineSql
                                                                                : kJournalPackedLineSql));
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

Status Journal::addRecord(qint64 entry, const QString& tableName, const Row& storedRow)
{
    const TableDef* table = schemaTable(tableName);
    if (!table)
        return ownFailure(finalText(QStringLiteral("No table %1").arg(tableName)));
    // Listed only while the entry is open, in one statement: a record costs
    // its download no more than one round trip here.
    const QString digest =
        QString::fromLatin1(sha256Hex(canonicalRowText(tableName, storedRow, kCurrentVersion).toUtf8()));
    if (std::find_if(std::begin(kRecordTables), std::end(kRecordTables),
                     [&](const char* t) { return tableName.compare(QString::fromUtf8(t), Qt::CaseInsensitive) == 0; })
        == std::end(kRecordTables))
        return {}; // only the record tables need their provenance
    // A server refuses a line in an entry that is not open, or not ours.
    const bool server = database_.isServer();
    const QString name = QString::fromUtf8(table->name);
    const Result<QSqlQuery*> insert =
        server ? run(QString::fromLatin1(kServerJournalLineSql),
                     {entry, name, keyText(*table, storedRow), QVariant(QMetaType(QMetaType::QString)),
                      QVariant(QMetaType(QMetaType::QByteArray)), digest})
               : run(QString::fromLatin1(kJournalListRecordSql), {entry, name, keyText(*table, storedRow), digest, entry});
    if (!insert)
        return insert.error();
    if (!server && (*insert)->numRowsAffected() != 1)
        return ownFailure(finalText(QStringLiteral("Journal entry %1 is not open").arg(entry)));
    return {};
}

Status Journal::setProvenance(qint64 entry, const QString& text)
{
    const QVariant value = text.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(text);
    const bool server = database_.isServer();
    const Result<QSqlQuery*> update =
        server ? run(QStringLiteral("SELECT tvq52_journal_provenance(?, ?)"), {entry, value})
               : run(QStringLiteral("UPDATE \"Diario\" SET \"TProcedencia\" = ? WHERE \"LId\" = ? AND \"THash\" IS NULL"),
                     {value, entry});
    if (!update)
        return update.error();
    const int changed = server ? ((*update)->next() ? (*update)->value(0).toInt() : 0) : (*update)->numRowsAffected();
    if (server)
        (*update)->finish();
    if (changed != 1)
        return ownFailure(finalText(QStringLiteral("Journal entry %1 is not open").arg(entry)));
    return {};
}

Status Journal::seal(qint64 entry, const QString& outcome, const QString& message, const QString& counts,
                     const QString& totals)
{
    const Result<Signer*> signer = officeSigner();
    if (!signer)
        return signer.error();
    return sealWith(entry, outcome, message, counts, totals, *signer);
}

Status Journal::sealWith(qint64 entry, const QString& outcome, const QString& message, const QString& counts,
                         const QString& totals, Signer* signer)
{
    // Appends are serialized: two programs sealing at once would otherwise
    // both chain to the same head. SQLite takes its write lock from the
    // start; a server an advisory lock that the commit lets go of.
    const bool server = database_.isServer();
    if (Status begun = transactionStep(server ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE")); !begun)
        return begun;
    Status sealed;
    if (server) {
        const Result<QSqlQuery*> chain = run(QStringLiteral("SELECT pg_advisory_xact_lock(?)"), {kChainLock});
        if (chain)
            (*chain)->finish();
        sealed = chain.status();
    }
    if (sealed)
        sealed = sealLocked(entry, outcome, message, counts, totals, signer);
    if (sealed)
        sealed = transactionStep(QStringLiteral("COMMIT"));
    if (!sealed) {
        rollback();
        return sealed;
    }
    releaseEntry(entry);
    messageSources_.remove(entry);
    // Stamps that still cannot be added wait for a later seal or opening.
    if (signer)
        (void)addPendingTimeStamps();
    return {};
}

Result<Journal::ChainHead> Journal::readChainHead() const
{
    const Result<QSqlQuery*> head = run(QStringLiteral("SELECT \"LId\", \"THash\", \"LSello\" FROM \"Diario\" WHERE "
                                                       "\"THash\" IS NOT NULL ORDER BY \"LSello\" DESC LIMIT 1"),
                                        {});
    if (!head)
        return head.error();
    ChainHead chain;
    if ((*head)->next()) {
        chain.previous = (*head)->value(0).toLongLong();
        chain.hash = (*head)->value(1).toString().toLatin1();
        chain.sealNumber = (*head)->value(2).toLongLong() + 1;
    }
    (*head)->finish();
    return chain;
}

Status Journal::sealLocked(qint64 entry, const QString& outcome, const QString& message, const QString& counts,
                           const QString& totals, Signer* signer)
{
    const Result<QSqlQuery*> read =
        run(QStringLiteral("SELECT %1 FROM \"Diario\" WHERE \"LId\" = ?").arg(kEntryColumns), {entry});
    if (!read)
        return read.error();
    if (!(*read)->next())
        return ownFailure(finalText(QStringLiteral("No journal entry %1").arg(entry)));
    JournalEntry e = entryFrom(**read);
    (*read)->finish();
    if (e.sealed())
        return ownFailure(finalText(QStringLiteral("Journal entry %1 is already sealed").arg(entry)));
    const Result<ChainHead> chain = readChainHead();
    if (!chain)
        return chain.error();
    if (chain->previous)
        e.previous = *chain->previous;

    const QByteArray kept = listedLines_.take(entry);
    const Result<QByteArray> linesDigest = kept.isEmpty() ? entryLinesDigest(database_, entry) : Result(kept);
    if (!linesDigest)
        return ownFailure(finalText(linesDigest.error().detail));

    e.outcome = outcome;
    e.message = message;
    e.counts = counts;
    e.totals = totals;
    std::tie(e.messageNumber, e.messageArguments) = messageSources_.value(entry);
    e.hash = entryHash(chain->hash, e, *linesDigest);
    int pending = e.stampPending & kOpeningStampPending;
    const Result<QVariant> signature = signText(signer, signatures::sealText(e.hash), kSealStampPending, pending);
    if (!signature)
        return signature.error();
    return writeSeal(e, chain->sealNumber, *signature, pending, *linesDigest);
}

Status Journal::writeSeal(const JournalEntry& e, qint64 sealNumber, const QVariant& signature, int pending,
                          const QByteArray& linesDigest)
{
    const QVariantList binds{e.outcome,
                             e.message,
                             e.counts,
                             e.totals,
                             QString::fromLatin1(e.hash),
                             e.previous,
                             sealNumber,
                             signature,
                             signatures::pendingColumn(pending),
                             QString::fromLatin1(linesDigest),
                             messageNumberColumn(e),
                             messageArgumentsColumn(e),
                             e.id};
    if (database_.isServer())
        return run(QStringLiteral("SELECT tvq52_journal_seal(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                   QVariantList{e.id} + binds.mid(0, binds.size() - 1))
            .status();
    return run(QStringLiteral("UPDATE \"Diario\" SET \"TResultado\" = ?, \"TMensaje\" = ?, "
                              "\"TRecuentos\" = ?, \"TTotales\" = ?, \"THash\" = ?, \"LAnterior\" = ?, "
                              "\"LSello\" = ?, \"TFirmaCierre\" = ?, \"ISelloPendiente\" = ?, "
                              "\"THuellaLineas\" = ?, \"INumeroMensaje\" = ?, \"TArgumentosMensaje\" = ? "
                              "WHERE \"LId\" = ?"),
               binds)
        .status();
}

Status Journal::append(JournalAction action, qint32 serial, const QString& line, const QString& outcome,
                       const QString& message, int number, const QStringList& arguments)
{
    const Result<qint64> entry = open(action, serial, line);
    if (!entry)
        return entry.error();
    setMessageSource(*entry, number, arguments);
    return seal(*entry, outcome, message);
}

Status Journal::appendInTransaction(JournalAction action, qint32 serial, const QString& line, const QString& outcome,
                                    const QString& message, int number, const QStringList& arguments)
{
    const Result<Signer*> signer = officeSigner();
    if (!signer)
        return signer.error();
    if (database_.isServer()) {
        const Result<QSqlQuery*> chain = run(QStringLiteral("SELECT pg_advisory_xact_lock(?)"), {kChainLock});
        if (!chain)
            return chain.error();
        (*chain)->finish();
    }
    JournalEntry e = newEntry(action, serial, line);
    if (Status inserted = insertEntry(e); !inserted)
        return inserted;
    const Result<ChainHead> chain = readChainHead();
    if (!chain)
        return chain.error();
    if (chain->previous)
        e.previous = *chain->previous;
    e.link = openingLink(chain->hash, e);
    const Result<QByteArray> linesDigest = entryLinesDigest(database_, e.id);
    if (!linesDigest)
        return ownFailure(finalText(linesDigest.error().detail));
    e.outcome = outcome;
    e.message = message;
    e.messageNumber = number;
    e.messageArguments = arguments;
    e.hash = entryHash(chain->hash, e, *linesDigest);
    int pending = 0;
    const Result<QVariant> opening = signText(*signer, signatures::openingText(e.link), kOpeningStampPending, pending);
    if (!opening)
        return opening.error();
    const Result<QVariant> sealing = signText(*signer, signatures::sealText(e.hash), kSealStampPending, pending);
    if (!sealing)
        return sealing.error();
    if (Status linked = writeLink(e, *opening, pending); !linked)
        return linked;
    return writeSeal(e, chain->sealNumber, *sealing, pending, *linesDigest);
}

Result<QList<JournalEntry>> Journal::entries(std::optional<qint32> serial) const
{
    QList<JournalEntry> list;
    QString sql = QStringLiteral("SELECT %1 FROM \"Diario\"").arg(kEntryColumns);
    QVariantList binds;
    if (serial) {
        sql += QLatin1String(" WHERE \"LNumeroSerie\" = ?");
        binds << *serial;
    }
    sql += QLatin1String(" ORDER BY \"LId\" DESC");
    const Result<QSqlQuery*> q = run(sql, binds);
    if (!q)
        return q.error();
    while ((*q)->next())
        list << entryFrom(**q);
    // A read cut short is no shorter journal.
    const QSqlError stopped = (*q)->lastError();
    (*q)->finish();
    if (stopped.isValid()) {
        lastSqlError_ = stopped;
        return sqlError(stopped);
    }
    return list;
}

Result<std::optional<QDateTime>> Journal::oldestIntervalSinceLastCompletedDownload(qint32 serial) const
{
    const QString download = journalActionName(JournalAction::Download);
    const Result<QSqlQuery*> found =
        run(QStringLiteral(
                "SELECT min(r.\"TClave\") FROM \"DiarioRegistros\" r JOIN \"Diario\" d ON d.\"LId\" = r.\"LEntrada\" "
                "WHERE d.\"LNumeroSerie\" = ? AND d.\"TAccion\" = ? AND r.\"TTabla\" = 'Intervalos' AND d.\"LId\" > "
                "(SELECT coalesce(max(\"LId\"), 0) FROM \"Diario\" WHERE \"LNumeroSerie\" = ? AND \"TAccion\" = ? AND "
                "\"TResultado\" = ?)"),
            {serial, download, serial, download, journalOutcomeName(JournalOutcome::Completed)});
    if (!found)
        return found.error();
    QSqlQuery* q = *found;
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

Result<QByteArray> Journal::head() const
{
    const Result<ChainHead> chain = readChainHead();
    if (!chain)
        return chain.error();
    return chain->hash;
}

DatabaseFailure Journal::failureOf(const Error& error) const
{
    const QString text = untranslatedText(error);
    if (database_.isServer() && (!database_.connection().isOpen() || isConnectionLoss(lastSqlError_)))
        return DatabaseFailure{DatabaseFailure::Kind::ConnectionLost, text};
    if (lastSqlError_.type() == QSqlError::NoError)
        return DatabaseFailure{DatabaseFailure::Kind::Other, text};
    DatabaseFailure f = databaseFailure(lastSqlError_, database_.isServer());
    if (!text.isEmpty())
        f.detail = text;
    return f;
}

} // namespace tvq52
