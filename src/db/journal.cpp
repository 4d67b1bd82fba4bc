#include "db/journal.h"

#include "db/database.h"

#include <QCryptographicHash>
#include <QMutex>
#include <QSet>
#include <QSqlError>
#include <QSqlRecord>
#include <QTimeZone>

namespace tvq52 {

namespace {

// Joins canonical fields; it occurs in no value the program writes.
constexpr QChar kSeparator = QChar(0x1f);

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

const char* const kRecordTables[] = {"Intervalos", "Sesiones", "DiaBorrado", "DiaFinalBateria", "DiaReprogramado"};

QByteArray sha256Hex(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

QString canonicalValue(const ColumnDef& column, const QVariant& value)
{
    if (!value.isValid() || value.isNull())
        return {};
    switch (column.type) {
    case ColumnType::Single:
        return QString::asprintf("%.1f", double(value.toFloat()));
    case ColumnType::Date:
        if (value.typeId() == QMetaType::QDate)
            return value.toDate().toString(Qt::ISODate);
        if (value.typeId() == QMetaType::QDateTime)
            return value.toDateTime().date().toString(Qt::ISODate);
        return value.toString().left(10);
    case ColumnType::Boolean:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case ColumnType::Long:
    case ColumnType::Short:
    case ColumnType::Byte:
        return QString::number(value.toLongLong());
    case ColumnType::Text:
        return value.toString();
    }
    return value.toString();
}

QString keyText(const TableDef& table, const Row& row)
{
    QStringList parts;
    for (const char* k : table.key)
        parts << canonicalValue(*table.column(QString::fromUtf8(k)), row.value(QString::fromUtf8(k)));
    return parts.join(QLatin1Char(' '));
}

QString entryAt(const QDateTime& at)
{
    return at.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
}

// What an entry's hash covers besides its records.
QByteArray entryFields(const JournalEntry& e)
{
    const QStringList fields{QString::number(e.id),
                             entryAt(e.at),
                             journalActionName(e.action),
                             QString::number(e.serial),
                             e.line,
                             e.outcome,
                             e.message,
                             e.counts,
                             e.totals,
                             QString::number(e.previous)};
    return fields.join(kSeparator).toUtf8();
}

QByteArray recordLine(const QString& table, const QString& key, const QString& digest)
{
    return (table + kSeparator + key + kSeparator + digest + QChar(0x1e)).toUtf8();
}

QByteArray entryHash(const QByteArray& previousHash, const JournalEntry& entry, const QByteArray& linesDigest)
{
    QByteArray text = previousHash;
    text += char(0x1f);
    text += entryFields(entry);
    text += char(0x1f);
    text += linesDigest;
    return sha256Hex(text);
}

std::optional<JournalAction> actionFromName(const QString& name)
{
    for (JournalAction a : {JournalAction::Download, JournalAction::ProgramReceive, JournalAction::ProgramTransmit,
                            JournalAction::UnitDeletion, JournalAction::Merge})
        if (journalActionName(a) == name)
            return a;
    return std::nullopt;
}

const QString kEntryColumns = QStringLiteral(
    "\"LId\", \"TFechaHora\", \"TAccion\", \"LNumeroSerie\", \"TLinea\", "
    "\"TResultado\", \"TMensaje\", \"TRecuentos\", \"TTotales\", "
    "\"THash\", \"LAnterior\"");

JournalEntry entryFrom(const QSqlQuery& q)
{
    JournalEntry e;
    e.id = q.value(0).toLongLong();
    e.at = QDateTime::fromString(q.value(1).toString(), QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    e.action = actionFromName(q.value(2).toString()).value_or(JournalAction::Download);
    e.serial = q.value(3).toInt();
    e.line = q.value(4).toString();
    e.outcome = q.value(5).toString();
    e.message = q.value(6).toString();
    e.counts = q.value(7).toString();
    e.totals = q.value(8).toString();
    e.hash = q.value(9).toString().toLatin1();
    e.previous = q.value(10).toLongLong();
    return e;
}

} // namespace

QString journalActionName(JournalAction action)
{
    switch (action) {
    case JournalAction::Download:
        return QStringLiteral("download");
    case JournalAction::ProgramReceive:
        return QStringLiteral("receive");
    case JournalAction::ProgramTransmit:
        return QStringLiteral("transmit");
    case JournalAction::UnitDeletion:
        return QStringLiteral("delete");
    case JournalAction::Merge:
        return QStringLiteral("merge");
    }
    return {};
}

QStringList journalSchemaStatements(SqlDialect dialect)
{
    // PostgreSQL numbers the entries itself and keeps a row number for the
    // "in the order stored" reads that SQLite answers with rowid.
    const bool pg = dialect == SqlDialect::PostgreSQL;
    const QString id = pg ? QStringLiteral("BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY")
                          : QStringLiteral("INTEGER PRIMARY KEY");
    const QString rowid = pg ? QStringLiteral("rowid BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY, ") : QString();
    const QString big = pg ? QStringLiteral("BIGINT") : QStringLiteral("INTEGER");
    return {
        QStringLiteral("CREATE TABLE IF NOT EXISTS \"Diario\" (\"LId\" %1, \"TFechaHora\" TEXT, "
                       "\"TAccion\" TEXT, \"LNumeroSerie\" INTEGER, \"TLinea\" TEXT, \"TResultado\" TEXT, "
                       "\"TMensaje\" TEXT, \"TRecuentos\" TEXT, \"TTotales\" TEXT, \"THash\" TEXT, "
                       "\"LAnterior\" %2, \"LSello\" %2)")
            .arg(id, big),
        QStringLiteral("CREATE INDEX IF NOT EXISTS \"IX_DiarioSello\" ON \"Diario\" (\"LSello\")"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS \"DiarioRegistros\" (%1\"LEntrada\" %2 NOT NULL, "
                       "\"TTabla\" TEXT NOT NULL, \"TClave\" TEXT NOT NULL, \"THuella\" TEXT NOT NULL)")
            .arg(rowid, big),
        QStringLiteral("CREATE INDEX IF NOT EXISTS \"IX_DiarioRegistrosEntrada\" ON \"DiarioRegistros\" "
                       "(\"LEntrada\")"),
    };
}

bool ensureJournalTables(QSqlDatabase db, QString* error, SqlDialect dialect)
{
    QSqlQuery q(db);
    for (const QString& statement : journalSchemaStatements(dialect)) {
        if (!q.exec(statement)) {
            if (error)
                *error = q.lastError().text();
            return false;
        }
    }
    return true;
}

QString canonicalRowText(const QString& tableName, const Row& row)
{
    const TableDef* table = schemaTable(tableName);
    if (!table)
        return {};
    QStringList parts;
    parts.reserve(qsizetype(table->columns.size()));
    const QStringList& names = row.columns();
    for (std::size_t i = 0; i < table->columns.size(); ++i) {
        const ColumnDef& c = table->columns[i];
        const QLatin1StringView name(c.name);
        // A row read back with SELECT * holds the columns in schema order:
        // take it by position and only search when it does not.
        const qsizetype at = qsizetype(i);
        const bool inPlace = at < names.size() && names.at(at).compare(name, Qt::CaseInsensitive) == 0;
        parts << canonicalValue(c, inPlace ? row.values().at(at) : row.value(QString::fromUtf8(c.name)));
    }
    return parts.join(kSeparator);
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

void Journal::sealAbandoned()
{
    QSqlQuery* open = statement(QStringLiteral("SELECT \"LId\" FROM \"Diario\" WHERE \"THash\" IS NULL"));
    if (!exec(open, {}))
        return;
    QList<qint64> ids;
    while (open->next())
        ids << open->value(0).toLongLong();
    open->finish();
    for (qint64 id : ids) {
        if (!probeAbandoned(id))
            continue;
        seal(id, QStringLiteral("interrupted"), {});
        releaseProbe(id);
    }
}

std::optional<qint64> Journal::open(JournalAction action, qint32 serial, const QString& line)
{
    sealAbandoned();
    // The entry is held before anyone else can see it, so that nobody takes
    // it for abandoned in between.
    if (!transactionStep(database_.isServer() ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE")))
        return std::nullopt;
    QSqlQuery* insert =
        statement(QStringLiteral("INSERT INTO \"Diario\" (\"TFechaHora\", \"TAccion\", "
                                 "\"LNumeroSerie\", \"TLinea\") VALUES (?, ?, ?, ?) RETURNING \"LId\""));
    if (!exec(insert, {entryAt(QDateTime::currentDateTime()), journalActionName(action), serial, line})
        || !insert->next()) {
        rollback();
        return std::nullopt;
    }
    const qint64 id = insert->value(0).toLongLong();
    insert->finish();
    if (!holdEntry(id) || !transactionStep(QStringLiteral("COMMIT"))) {
        rollback();
        releaseEntry(id);
        return std::nullopt;
    }
    return id;
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
    const QString digest = QString::fromLatin1(sha256Hex(canonicalRowText(tableName, storedRow).toUtf8()));
    QSqlQuery* insert = statement(
        QStringLiteral("INSERT INTO \"DiarioRegistros\" (\"LEntrada\", \"TTabla\", \"TClave\", \"THuella\") "
                       "SELECT CAST(? AS BIGINT), ?, ?, ? WHERE EXISTS (SELECT 1 FROM \"Diario\" WHERE \"LId\" = ? "
                       "AND \"THash\" IS NULL)"));
    if (!exec(insert, {entry, QString::fromUtf8(table->name), keyText(*table, storedRow), digest, entry}))
        return false;
    if (insert->numRowsAffected() != 1) {
        lastError_ = QStringLiteral("Journal entry %1 is not open").arg(entry);
        return false;
    }
    return true;
}

bool Journal::seal(qint64 entry, const QString& outcome, const QString& message, const QString& counts,
                   const QString& totals)
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
    const bool ok = sealLocked(entry, outcome, message, counts, totals);
    if (!ok || !transactionStep(QStringLiteral("COMMIT"))) {
        rollback();
        return false;
    }
    releaseEntry(entry);
    return true;
}

bool Journal::sealLocked(qint64 entry, const QString& outcome, const QString& message, const QString& counts,
                         const QString& totals)
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
    QSqlQuery* head =
        statement(QStringLiteral("SELECT \"LId\", \"THash\", \"LSello\" FROM \"Diario\" WHERE "
                                 "\"THash\" IS NOT NULL ORDER BY \"LSello\" DESC LIMIT 1"));
    if (!exec(head, {}))
        return false;
    QByteArray previousHash;
    qint64 sealNumber = 1;
    if (head->next()) {
        e.previous = head->value(0).toLongLong();
        previousHash = head->value(1).toString().toLatin1();
        sealNumber = head->value(2).toLongLong() + 1;
    }
    head->finish();

    QSqlQuery* lines =
        statement(QStringLiteral("SELECT \"TTabla\", \"TClave\", \"THuella\" FROM \"DiarioRegistros\" "
                                 "WHERE \"LEntrada\" = ? ORDER BY rowid"));
    if (!exec(lines, {entry}))
        return false;
    QCryptographicHash linesHash(QCryptographicHash::Sha256);
    while (lines->next())
        linesHash.addData(
            recordLine(lines->value(0).toString(), lines->value(1).toString(), lines->value(2).toString()));
    lines->finish();

    e.outcome = outcome;
    e.message = message;
    e.counts = counts;
    e.totals = totals;
    e.hash = entryHash(previousHash, e, linesHash.result().toHex());
    return exec(statement(QStringLiteral("UPDATE \"Diario\" SET \"TResultado\" = ?, \"TMensaje\" = ?, "
                                         "\"TRecuentos\" = ?, \"TTotales\" = ?, \"THash\" = ?, \"LAnterior\" = ?, "
                                         "\"LSello\" = ? WHERE \"LId\" = ?")),
                {outcome, message, counts, totals, QString::fromLatin1(e.hash), e.previous, sealNumber, entry});
}

bool Journal::append(JournalAction action, qint32 serial, const QString& line, const QString& outcome,
                     const QString& message)
{
    const std::optional<qint64> entry = open(action, serial, line);
    return entry && seal(*entry, outcome, message);
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
        "\"TResultado\" = 'completed')"));
    if (!exec(q, {serial, download, serial, download}))
        return std::nullopt;
    std::optional<QDateTime> oldest;
    if (q->next() && !q->value(0).isNull()) {
        // Keys read "serial yyyy-mm-dd hh:nn"; one unit's sort by date and time.
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

JournalVerification Journal::verify(std::optional<qint32> serial) const
{
    JournalVerification result;
    QSqlDatabase db = database_.connection();
    // One snapshot for the whole check, so a download running meanwhile
    // cannot show up half done.
    const bool snapshot =
        QSqlQuery(db).exec(database_.isServer() ? QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY")
                                                : QStringLiteral("BEGIN"));

    // The records every entry listed, in the order they were written.
    struct Listed {
        qint64 entry = 0;
        QString digest;
        bool seen = false;
    };
    QHash<QString, Listed> listed; // table + separator + key
    QHash<qint64, QCryptographicHash*> linesHashes;
    std::vector<std::unique_ptr<QCryptographicHash>> hashOwner;
    {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        q.exec(
            QStringLiteral("SELECT \"LEntrada\", \"TTabla\", \"TClave\", \"THuella\" FROM \"DiarioRegistros\" "
                           "ORDER BY rowid"));
        while (q.next()) {
            const qint64 entry = q.value(0).toLongLong();
            const QString table = q.value(1).toString();
            const QString key = q.value(2).toString();
            const QString digest = q.value(3).toString();
            QCryptographicHash*& h = linesHashes[entry];
            if (!h) {
                hashOwner.push_back(std::make_unique<QCryptographicHash>(QCryptographicHash::Sha256));
                h = hashOwner.back().get();
            }
            h->addData(recordLine(table, key, digest));
            Listed& l = listed[table + kSeparator + key];
            if (l.entry != 0 && l.entry != entry)
                ++result.recordsRewritten;
            l.entry = entry;
            l.digest = digest;
        }
    }

    // The chain, in the order the entries were sealed.
    QHash<qint32, qint64> lastDeletion; // serial -> newest deletion entry
    {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        q.exec(QStringLiteral("SELECT %1 FROM \"Diario\" WHERE \"THash\" IS NOT NULL ORDER BY \"LSello\"")
                   .arg(kEntryColumns));
        QByteArray previousHash;
        qint64 previousId = 0;
        while (q.next()) {
            const JournalEntry e = entryFrom(q);
            if (e.action == JournalAction::UnitDeletion)
                lastDeletion[e.serial] = std::max(lastDeletion.value(e.serial), e.id);
            if (e.previous != previousId)
                result.findings.append({JournalFinding::Kind::ChainBroken,
                                        e.id,
                                        {},
                                        {},
                                        QStringLiteral("chained to entry %1, not %2").arg(e.previous).arg(previousId)});
            const QCryptographicHash* lines = linesHashes.value(e.id);
            const QByteArray linesDigest =
                lines ? lines->result().toHex() : QCryptographicHash::hash({}, QCryptographicHash::Sha256).toHex();
            if (entryHash(previousHash, e, linesDigest) != e.hash)
                result.findings.append({JournalFinding::Kind::EntryAltered,
                                        e.id,
                                        {},
                                        {},
                                        QStringLiteral("hash %1 does not match").arg(QString::fromLatin1(e.hash))});
            previousHash = e.hash;
            previousId = e.id;
            result.head = e.hash;
        }
    }

    // Every stored record against the newest entry that listed it.
    for (const char* name : kRecordTables) {
        const TableDef* table = schemaTable(QString::fromUtf8(name));
        const QString tableName = QString::fromUtf8(table->name);
        QSqlQuery q(db);
        q.setForwardOnly(true);
        QString sql = QStringLiteral("SELECT * FROM %1").arg(quoteIdentifier(tableName));
        if (serial)
            sql += QLatin1String(" WHERE \"LNumeroSerie\" = ?");
        q.prepare(sql);
        if (serial)
            q.addBindValue(*serial);
        if (!q.exec()) {
            lastError_ = q.lastError().text();
            continue;
        }
        const QSqlRecord record = q.record();
        std::vector<int> positions; // schema column -> result column
        for (const ColumnDef& c : table->columns)
            positions.push_back(record.indexOf(QString::fromUtf8(c.name)));
        std::vector<int> keyPositions;
        for (const char* k : table->key)
            keyPositions.push_back(record.indexOf(QString::fromUtf8(k)));
        while (q.next()) {
            QStringList parts;
            parts.reserve(qsizetype(positions.size()));
            for (std::size_t i = 0; i < positions.size(); ++i)
                parts << (positions[i] < 0 ? QString() : canonicalValue(table->columns[i], q.value(positions[i])));
            QStringList keyParts;
            for (std::size_t i = 0; i < keyPositions.size(); ++i)
                keyParts << canonicalValue(*table->column(QString::fromUtf8(table->key[i])), q.value(keyPositions[i]));
            const QString key = keyParts.join(QLatin1Char(' '));
            auto found = listed.find(tableName + kSeparator + key);
            if (found == listed.end()) {
                ++result.recordsNotJournaled;
                continue;
            }
            ++result.recordsChecked;
            found->seen = true;
            const QString digest = QString::fromLatin1(sha256Hex(parts.join(kSeparator).toUtf8()));
            if (digest != found->digest)
                result.findings.append({JournalFinding::Kind::RecordEdited, found->entry, tableName, key,
                                        QStringLiteral("values differ from entry %1").arg(found->entry)});
        }
    }

    for (auto it = listed.cbegin(); it != listed.cend(); ++it) {
        if (it->seen)
            continue;
        const QString table = it.key().section(kSeparator, 0, 0);
        const QString key = it.key().section(kSeparator, 1);
        const qint32 unit = key.section(QLatin1Char(' '), 0, 0).toInt();
        if (serial && unit != *serial)
            continue;
        if (lastDeletion.value(unit) > it->entry)
            continue;
        result.findings.append({JournalFinding::Kind::RecordMissing, it->entry, table, key,
                                QStringLiteral("listed by entry %1, not stored").arg(it->entry)});
    }
    if (snapshot)
        QSqlQuery(db).exec(QStringLiteral("COMMIT"));
    return result;
}

} // namespace tvq52
