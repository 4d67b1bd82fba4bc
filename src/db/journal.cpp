#include "db/journal.h"

#include "db/database.h"

#include <QCryptographicHash>
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

// The form new entries are written in.
constexpr int kCurrentVersion = 2;
// Kept in an SQLite file's header once its journal has begun, so that a
// journal removed with its tables is not begun again as if new.
constexpr int kJournalBegun = 0x7471'3532;

QString canonicalValue(const ColumnDef& column, const QVariant& value, int version)
{
    if (!value.isValid() || value.isNull())
        return {};
    // A text where a number belongs (only SQLite keeps one) is shown as it is.
    const bool text = value.typeId() == QMetaType::QString;
    switch (column.type) {
    case ColumnType::Single:
        if (version < 2)
            return QString::asprintf("%.1f", double(value.toFloat()));
        if (text) {
            bool number = false;
            value.toString().toDouble(&number);
            if (!number)
                return value.toString();
        }
        return QString::asprintf("%.9g", double(value.toFloat()));
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
        if (version >= 2 && (text || value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float)) {
            const double d = value.toDouble();
            if (text || d != double(qint64(d)))
                return text ? value.toString() : QString::number(d, 'g', 17);
        }
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
        parts << canonicalValue(*table.column(QString::fromUtf8(k)), row.value(QString::fromUtf8(k)), 1);
    return parts.join(QLatin1Char(' '));
}

QString entryAt(const QDateTime& at)
{
    return at.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
}

QString serialText(const JournalEntry& e)
{
    return e.version >= 2 && e.serial <= 0 ? QString() : QString::number(e.serial);
}

// What an entry's hash covers besides its records.
QByteArray entryFields(const JournalEntry& e)
{
    QStringList fields{QString::number(e.id),
                       entryAt(e.at),
                       journalActionName(e.action),
                       serialText(e),
                       e.line,
                       e.outcome,
                       e.message,
                       e.counts,
                       e.totals,
                       QString::number(e.previous)};
    if (e.version >= 2)
        fields << QString::number(e.version) << QString::fromLatin1(e.link) << QString::fromLatin1(e.source);
    return fields.join(kSeparator).toUtf8();
}

// The link an entry gets as it is opened: the head it was opened under and a
// hash over that head and the opening fields.
QByteArray openingLink(const QByteArray& headAtOpen, const JournalEntry& e)
{
    const QStringList fields{QString::number(e.id),
                             entryAt(e.at),
                             journalActionName(e.action),
                             serialText(e),
                             e.line,
                             QString::fromLatin1(e.source),
                             QString::number(e.version)};
    return headAtOpen + ' ' + sha256Hex(headAtOpen + char(0x1f) + fields.join(kSeparator).toUtf8());
}

// Whether the entry carries the link the program gives an entry it opens;
// `sealedHashes` holds every sealed hash, which the head at opening must be.
bool linkHolds(const JournalEntry& e, const QSet<QByteArray>& sealedHashes)
{
    const qsizetype space = e.link.indexOf(' ');
    if (e.version < 2 || space < 0)
        return false;
    const QByteArray head = e.link.left(space);
    if (!head.isEmpty() && !sealedHashes.contains(head))
        return false;
    return openingLink(head, e) == e.link;
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
                            JournalAction::UnitDeletion, JournalAction::Merge, JournalAction::Import,
                            JournalAction::Adopt, JournalAction::Restart})
        if (journalActionName(a) == name)
            return a;
    return std::nullopt;
}

const QString kEntryColumns = QStringLiteral(
    "\"LId\", \"TFechaHora\", \"TAccion\", \"LNumeroSerie\", \"TLinea\", "
    "\"TResultado\", \"TMensaje\", \"TRecuentos\", \"TTotales\", "
    "\"THash\", \"LAnterior\", \"IVersion\", \"TEnlace\", \"TOrigen\"");

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
    e.version = q.value(11).isNull() ? 1 : q.value(11).toInt();
    e.link = q.value(12).toString().toLatin1();
    e.source = q.value(13).toString().toLatin1();
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
    case JournalAction::Import:
        return QStringLiteral("import");
    case JournalAction::Adopt:
        return QStringLiteral("adopt");
    case JournalAction::Restart:
        return QStringLiteral("restart");
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
                       "\"LAnterior\" %2, \"LSello\" %2, \"IVersion\" INTEGER, \"TEnlace\" TEXT, \"TOrigen\" TEXT)")
            .arg(id, big),
        QStringLiteral("CREATE INDEX IF NOT EXISTS \"IX_DiarioSello\" ON \"Diario\" (\"LSello\")"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS \"DiarioRegistros\" (%1\"LEntrada\" %2 NOT NULL, "
                       "\"TTabla\" TEXT NOT NULL, \"TClave\" TEXT NOT NULL, \"THuella\" TEXT NOT NULL)")
            .arg(rowid, big),
        QStringLiteral("CREATE INDEX IF NOT EXISTS \"IX_DiarioRegistrosEntrada\" ON \"DiarioRegistros\" "
                       "(\"LEntrada\")"),
    };
}

namespace {

// Columns the entries table gained after its first version.
const char* const kAddedColumns[] = {"IVersion", "TEnlace", "TOrigen"};

QString addedColumnType(const char* column)
{
    return qstrcmp(column, "IVersion") == 0 ? QStringLiteral("INTEGER") : QStringLiteral("TEXT");
}

bool tableExists(QSqlDatabase db, const QString& table, SqlDialect dialect, bool* exists, QString* error)
{
    QSqlQuery q(db);
    q.prepare(dialect == SqlDialect::PostgreSQL
                  ? QStringLiteral("SELECT to_regclass(?) IS NOT NULL")
                  : QStringLiteral("SELECT count(*) > 0 FROM sqlite_master WHERE type = 'table' AND name = ?"));
    q.addBindValue(dialect == SqlDialect::PostgreSQL ? quoteIdentifier(table) : table);
    if (!q.exec() || !q.next()) {
        if (error)
            *error = q.lastError().text();
        return false;
    }
    *exists = q.value(0).toBool();
    return true;
}

QStringList columnsOf(QSqlDatabase db, const QString& table, SqlDialect dialect)
{
    QStringList names;
    QSqlQuery q(db);
    if (dialect == SqlDialect::PostgreSQL) {
        q.prepare(
            QStringLiteral("SELECT column_name FROM information_schema.columns "
                           "WHERE table_schema = current_schema() AND table_name = ?"));
        q.addBindValue(table);
        if (q.exec())
            while (q.next())
                names << q.value(0).toString();
    } else if (q.exec(QStringLiteral("PRAGMA table_info(%1)").arg(quoteIdentifier(table)))) {
        while (q.next())
            names << q.value(1).toString();
    }
    return names;
}

Row rowFrom(const QSqlQuery& q)
{
    Row row;
    const QSqlRecord record = q.record();
    for (int i = 0; i < record.count(); ++i)
        row.set(record.fieldName(i), q.value(i));
    return row;
}

struct HeadRow {
    qint64 id = 0;
    QByteArray hash;
    qint64 seal = 0;
};

std::optional<HeadRow> readHead(QSqlQuery& q, QString* error)
{
    if (!q.exec(QStringLiteral("SELECT \"LId\", \"THash\", \"LSello\" FROM \"Diario\" WHERE \"THash\" IS NOT NULL "
                               "ORDER BY \"LSello\" DESC LIMIT 1"))) {
        if (error)
            *error = q.lastError().text();
        return std::nullopt;
    }
    HeadRow head;
    if (q.next())
        head = {q.value(0).toLongLong(), q.value(1).toString().toLatin1(), q.value(2).toLongLong()};
    q.finish();
    return head;
}

bool anyRecordStored(QSqlDatabase db, bool* any, QString* error)
{
    *any = false;
    QSqlQuery q(db);
    for (const char* name : kRecordTables) {
        if (!q.exec(QStringLiteral("SELECT 1 FROM %1 LIMIT 1").arg(quoteIdentifier(QString::fromUtf8(name))))) {
            if (error)
                *error = q.lastError().text();
            return false;
        }
        *any = *any || q.next();
        q.finish();
    }
    return true;
}

// Writes and seals, inside the caller's transaction, an entry the journal
// makes itself: "adopt" lists every stored record no entry lists yet (and is
// not written when there is none), "restart" lists nothing.
bool writeOwnEntry(QSqlDatabase db, JournalAction action, QString* error)
{
    const auto fail = [&](const QSqlQuery& q) {
        if (error)
            *error = q.lastError().text();
        return false;
    };
    // Not forward-only: a server's streamed rows would lose all but the first
    // to the record() each row is read with.
    QSqlQuery q(db);
    struct Line {
        QString table, key, digest;
    };
    QList<Line> lines;
    if (action == JournalAction::Adopt) {
        QSet<QString> listed;
        if (!q.exec(QStringLiteral("SELECT \"TTabla\", \"TClave\" FROM \"DiarioRegistros\"")))
            return fail(q);
        while (q.next())
            listed.insert(q.value(0).toString() + kSeparator + q.value(1).toString());
        for (const char* name : kRecordTables) {
            const TableDef& table = *schemaTable(QString::fromUtf8(name));
            const QString tableName = QString::fromUtf8(table.name);
            if (!q.exec(QStringLiteral("SELECT * FROM %1").arg(quoteIdentifier(tableName))))
                return fail(q);
            while (q.next()) {
                const Row row = rowFrom(q);
                const QString key = keyText(table, row);
                if (listed.contains(tableName + kSeparator + key))
                    continue;
                lines.append(
                    {tableName, key,
                     QString::fromLatin1(sha256Hex(canonicalRowText(tableName, row, kCurrentVersion).toUtf8()))});
            }
        }
        if (lines.isEmpty())
            return true;
    }
    const std::optional<HeadRow> head = readHead(q, error);
    if (!head)
        return false;
    JournalEntry e;
    e.at = QDateTime::currentDateTime();
    e.action = action;
    e.version = kCurrentVersion;
    e.outcome = QStringLiteral("completed");
    e.counts = QStringLiteral("records %1").arg(lines.size());
    e.previous = head->id;
    q.prepare(
        QStringLiteral("INSERT INTO \"Diario\" (\"TFechaHora\", \"TAccion\", \"TLinea\", \"IVersion\") "
                       "VALUES (?, ?, '', ?) RETURNING \"LId\""));
    q.addBindValue(entryAt(e.at));
    q.addBindValue(journalActionName(action));
    q.addBindValue(e.version);
    if (!q.exec() || !q.next())
        return fail(q);
    e.id = q.value(0).toLongLong();
    q.finish();
    e.link = openingLink(head->hash, e);
    QCryptographicHash linesHash(QCryptographicHash::Sha256);
    q.prepare(
        QStringLiteral("INSERT INTO \"DiarioRegistros\" (\"LEntrada\", \"TTabla\", \"TClave\", \"THuella\") "
                       "VALUES (?, ?, ?, ?)"));
    for (const Line& l : lines) {
        q.addBindValue(e.id);
        q.addBindValue(l.table);
        q.addBindValue(l.key);
        q.addBindValue(l.digest);
        if (!q.exec())
            return fail(q);
        linesHash.addData(recordLine(l.table, l.key, l.digest));
    }
    e.hash = entryHash(head->hash, e, linesHash.result().toHex());
    q.prepare(
        QStringLiteral("UPDATE \"Diario\" SET \"TResultado\" = ?, \"TMensaje\" = '', \"TRecuentos\" = ?, "
                       "\"TTotales\" = '', \"THash\" = ?, \"LAnterior\" = ?, \"LSello\" = ?, \"TEnlace\" = ? "
                       "WHERE \"LId\" = ?"));
    for (const QVariant& v : QVariantList{e.outcome, e.counts, QString::fromLatin1(e.hash), e.previous, head->seal + 1,
                                          QString::fromLatin1(e.link), e.id})
        q.addBindValue(v);
    return q.exec() || fail(q);
}

} // namespace

bool ensureJournalTables(QSqlDatabase db, QString* error, SqlDialect dialect)
{
    // A server lays its journal out inside the caller's transaction; a file
    // takes its write lock for the whole check.
    const bool sqlite = dialect == SqlDialect::SQLite;
    QSqlQuery q(db);
    if (sqlite) {
        // Nothing to do, as on almost every open: no write lock is taken.
        bool lines = false;
        if (q.exec(QStringLiteral("PRAGMA user_version")) && q.next() && q.value(0).toInt() == kJournalBegun
            && tableExists(db, QStringLiteral("DiarioRegistros"), dialect, &lines, nullptr) && lines
            && columnsOf(db, QStringLiteral("Diario"), dialect)
                   .contains(QStringLiteral("IVersion"), Qt::CaseInsensitive))
            return true;
        q.finish();
    }
    const auto fail = [&](const QString& text) {
        if (error && !text.isEmpty())
            *error = text;
        if (sqlite)
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return false;
    };
    if (sqlite && !q.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return fail(q.lastError().text());
    bool had = false;
    QString text;
    if (!tableExists(db, QStringLiteral("Diario"), dialect, &had, &text))
        return fail(text);
    const QStringList columns = had ? columnsOf(db, QStringLiteral("Diario"), dialect) : QStringList();
    const bool upgrading = had && !columns.contains(QStringLiteral("IVersion"), Qt::CaseInsensitive);
    int marker = 0;
    if (sqlite) {
        if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next())
            return fail(q.lastError().text());
        marker = q.value(0).toInt();
        q.finish();
    }
    for (const QString& statement : journalSchemaStatements(dialect))
        if (!q.exec(statement))
            return fail(q.lastError().text());
    for (const char* c : kAddedColumns) {
        if (!had || columns.contains(QString::fromUtf8(c), Qt::CaseInsensitive))
            continue;
        if (!q.exec(QStringLiteral("ALTER TABLE \"Diario\" ADD COLUMN %1 %2")
                        .arg(quoteIdentifier(QString::fromUtf8(c)), addedColumnType(c))))
            return fail(q.lastError().text());
    }
    bool records = false;
    if (!anyRecordStored(db, &records, &text))
        return fail(text);
    if (!had) {
        // A file that never had a journal adopts what it holds; a journal
        // that is gone is begun again, and says so.
        const bool begunBefore = sqlite ? marker == kJournalBegun : records;
        if (begunBefore || records) {
            if (!writeOwnEntry(db, begunBefore ? JournalAction::Restart : JournalAction::Adopt, &text))
                return fail(text);
        }
    } else if (upgrading && records) {
        // The first journal listed downloads only: what imports and merges
        // added until now is adopted once.
        if (!writeOwnEntry(db, JournalAction::Adopt, &text))
            return fail(text);
    }
    if (sqlite) {
        if (marker != kJournalBegun && !q.exec(QStringLiteral("PRAGMA user_version = %1").arg(kJournalBegun)))
            return fail(q.lastError().text());
        if (!q.exec(QStringLiteral("COMMIT")))
            return fail(q.lastError().text());
    }
    return true;
}

QByteArray fileSha256(const QString& path, Database& database, QString* error)
{
    // Opening and closing the database's own file here would drop SQLite's locks on it.
    for (const QString& own : {database.path(), database.settingsDatabase().path()}) {
        if (own.isEmpty())
            continue;
        for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")}) {
            std::error_code ec;
            if (std::filesystem::equivalent(std::filesystem::path(path.toStdString()),
                                            std::filesystem::path((own + suffix).toStdString()), ec)
                && !ec) {
                if (error)
                    *error = QStringLiteral("%1 is the program's own database").arg(path);
                return {};
            }
        }
    }
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return {};
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file)) {
        if (error)
            *error = file.errorString();
        return {};
    }
    return hash.result().toHex();
}

QString canonicalRowText(const QString& tableName, const Row& row, int version)
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
        parts << canonicalValue(c, inPlace ? row.values().at(at) : row.value(QString::fromUtf8(c.name)), version);
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
    QSqlQuery* hashes = statement(QStringLiteral("SELECT \"THash\" FROM \"Diario\" WHERE \"THash\" IS NOT NULL"));
    if (!exec(hashes, {}))
        return;
    while (hashes->next())
        sealedHashes.insert(hashes->value(0).toString().toLatin1());
    hashes->finish();
    unlinked_.clear();
    for (const JournalEntry& e : entries) {
        // An entry the program did not open is never sealed: sealing would
        // put whatever it lists on the chain.
        if (!linkHolds(e, sealedHashes)) {
            unlinked_ << e.id;
            continue;
        }
        if (!probeAbandoned(e.id))
            continue;
        seal(e.id, QStringLiteral("interrupted"), {});
        releaseProbe(e.id);
    }
}

std::optional<qint64> Journal::open(JournalAction action, qint32 serial, const QString& line, const QByteArray& source)
{
    sealAbandoned();
    // The entry is held before anyone else can see it, so that nobody takes
    // it for abandoned in between; its link is written with it.
    if (!transactionStep(database_.isServer() ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE")))
        return std::nullopt;
    JournalEntry e;
    e.at = QDateTime::currentDateTime();
    e.action = action;
    e.serial = std::max(serial, 0);
    e.line = line;
    e.version = kCurrentVersion;
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
    if (!exec(statement(QStringLiteral("UPDATE \"Diario\" SET \"TEnlace\" = ? WHERE \"LId\" = ?")),
              {QString::fromLatin1(e.link), e.id})) {
        rollback();
        return std::nullopt;
    }
    const qint64 id = e.id;
    if (!holdEntry(id) || !transactionStep(QStringLiteral("COMMIT"))) {
        rollback();
        releaseEntry(id);
        return std::nullopt;
    }
    return id;
}

bool Journal::addRowsAfter(QSqlDatabase db, qint64 entry, const QString& tableName, qint64 afterRow, QString* error)
{
    const TableDef* table = schemaTable(tableName);
    if (!table
        || std::find_if(
               std::begin(kRecordTables), std::end(kRecordTables),
               [&](const char* t) { return tableName.compare(QString::fromUtf8(t), Qt::CaseInsensitive) == 0; })
            == std::end(kRecordTables))
        return true;
    const auto fail = [&](const QSqlQuery& q) {
        if (error)
            *error = q.lastError().text();
        return false;
    };
    QSqlQuery open(db);
    open.prepare(QStringLiteral("SELECT 1 FROM \"Diario\" WHERE \"LId\" = ? AND \"THash\" IS NULL"));
    open.addBindValue(entry);
    if (!open.exec())
        return fail(open);
    if (!open.next()) {
        if (error)
            *error = QStringLiteral("Journal entry %1 is not open").arg(entry);
        return false;
    }
    open.finish();
    const QString name = QString::fromUtf8(table->name);
    QSqlQuery rows(db);
    rows.prepare(QStringLiteral("SELECT * FROM %1 WHERE %2 > ? ORDER BY %2")
                     .arg(quoteIdentifier(name), QString::fromLatin1(kServerRowId)));
    rows.addBindValue(afterRow);
    if (!rows.exec())
        return fail(rows);
    QSqlQuery insert(db);
    insert.prepare(
        QStringLiteral("INSERT INTO \"DiarioRegistros\" (\"LEntrada\", \"TTabla\", \"TClave\", "
                       "\"THuella\") VALUES (?, ?, ?, ?)"));
    // Read to the end before the first insert on the same connection.
    QList<Row> added;
    while (rows.next())
        added << rowFrom(rows);
    rows.finish();
    for (const Row& row : std::as_const(added)) {
        insert.addBindValue(entry);
        insert.addBindValue(name);
        insert.addBindValue(keyText(*table, row));
        insert.addBindValue(QString::fromLatin1(sha256Hex(canonicalRowText(name, row, kCurrentVersion).toUtf8())));
        if (!insert.exec())
            return fail(insert);
    }
    return true;
}

qint64 Journal::lastRow(QSqlDatabase db, const QString& table, QString* error)
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT coalesce(max(%1), 0) FROM %2")
                    .arg(QString::fromLatin1(kServerRowId), quoteIdentifier(table)))
        || !q.next()) {
        if (error)
            *error = q.lastError().text();
        return -1;
    }
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

JournalVerification Journal::verify(std::optional<qint32> serial, const QByteArray& keptHead) const
{
    JournalVerification result;
    QSqlDatabase db = database_.connection();
    // One snapshot for the whole check, so a download running meanwhile
    // cannot show up half done.
    const bool snapshot =
        QSqlQuery(db).exec(database_.isServer() ? QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY")
                                                : QStringLiteral("BEGIN"));
    const auto unreadable = [&](const QSqlQuery& q) {
        result.findings.append({JournalFinding::Kind::Unreadable,
                                0,
                                {},
                                {},
                                QStringLiteral("the journal cannot be read: %1").arg(q.lastError().text())});
        if (snapshot)
            QSqlQuery(db).exec(QStringLiteral("COMMIT"));
        return result;
    };

    // Every entry first: which may be trusted, and in which form each hashed its records.
    QHash<qint64, JournalEntry> entries;
    QSet<QByteArray> sealedHashes;
    {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (!q.exec(QStringLiteral("SELECT %1 FROM \"Diario\"").arg(kEntryColumns)))
            return unreadable(q);
        while (q.next()) {
            const JournalEntry e = entryFrom(q);
            entries.insert(e.id, e);
            if (e.sealed())
                sealedHashes.insert(e.hash);
        }
    }
    // Open entries: a running exchange's, one a killed program left (sealed
    // "interrupted" by the next exchange), or one the program never opened.
    QSet<qint64> untrusted;
    for (const JournalEntry& e : std::as_const(entries)) {
        if (e.sealed())
            continue;
        if (!linkHolds(e, sealedHashes)) {
            untrusted.insert(e.id);
            result.findings.append({JournalFinding::Kind::EntryNotOpened,
                                    e.id,
                                    {},
                                    {},
                                    QStringLiteral("open entry without the program's link: not trusted")});
        }
    }

    // The records every trusted entry listed, in the order they were written.
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
        if (!q.exec(QStringLiteral("SELECT \"LEntrada\", \"TTabla\", \"TClave\", \"THuella\" FROM \"DiarioRegistros\" "
                                   "ORDER BY rowid")))
            return unreadable(q);
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
            if (untrusted.contains(entry) || !entries.contains(entry))
                continue;
            Listed& l = listed[table + kSeparator + key];
            if (l.entry != 0 && l.entry != entry)
                ++result.recordsRewritten;
            l.entry = entry;
            l.digest = digest;
        }
    }

    // The chain, in the order the entries were sealed.
    QHash<qint32, qint64> lastDeletion;      // serial -> newest deletion entry
    QHash<qint32, QList<qint64>> totalsRead; // serial -> the download entries that read the totals
    bool keptHeadFound = keptHead.isEmpty();
    QHash<QByteArray, int> sealPosition; // hash -> place in the chain, from 1
    {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (!q.exec(QStringLiteral("SELECT %1 FROM \"Diario\" WHERE \"THash\" IS NOT NULL ORDER BY \"LSello\"")
                        .arg(kEntryColumns)))
            return unreadable(q);
        QByteArray previousHash;
        qint64 previousId = 0;
        while (q.next()) {
            const JournalEntry e = entryFrom(q);
            if (e.action == JournalAction::UnitDeletion)
                lastDeletion[e.serial] = std::max(lastDeletion.value(e.serial), e.id);
            if (e.action == JournalAction::Download && !e.totals.isEmpty() && e.serial > 0)
                totalsRead[e.serial] << e.id;
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
            else if (e.version >= 2 && !linkHolds(e, sealedHashes))
                result.findings.append({JournalFinding::Kind::EntryNotOpened,
                                        e.id,
                                        {},
                                        {},
                                        QStringLiteral("sealed without the program's link")});
            if (e.action == JournalAction::Restart)
                result.findings.append(
                    {JournalFinding::Kind::JournalRestarted,
                     e.id,
                     {},
                     {},
                     QStringLiteral("the journal's tables were missing on %1 and were made again: what was "
                                    "stored before has no provenance")
                         .arg(entryAt(e.at))});
            if (!keptHead.isEmpty() && e.hash == keptHead)
                keptHeadFound = true;
            previousHash = e.hash;
            previousId = e.id;
            result.head = e.hash;
            sealPosition.insert(e.hash, int(sealPosition.size()) + 1);
        }
    }
    if (!keptHeadFound)
        result.findings.append(
            {JournalFinding::Kind::HeadMissing,
             0,
             {},
             {},
             QStringLiteral("the kept head %1 is not in the chain").arg(QString::fromLatin1(keptHead))});

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
        if (!q.exec())
            return unreadable(q);
        const QSqlRecord record = q.record();
        std::vector<int> positions; // schema column -> result column
        for (const ColumnDef& c : table->columns)
            positions.push_back(record.indexOf(QString::fromUtf8(c.name)));
        std::vector<int> keyPositions;
        for (const char* k : table->key)
            keyPositions.push_back(record.indexOf(QString::fromUtf8(k)));
        while (q.next()) {
            QStringList keyParts;
            for (std::size_t i = 0; i < keyPositions.size(); ++i)
                keyParts << canonicalValue(*table->column(QString::fromUtf8(table->key[i])), q.value(keyPositions[i]),
                                           1);
            const QString key = keyParts.join(QLatin1Char(' '));
            auto found = listed.find(tableName + kSeparator + key);
            if (found == listed.end()) {
                ++result.recordsNotJournaled;
                result.findings.append({JournalFinding::Kind::NoProvenance, 0, tableName, key,
                                        QStringLiteral("stored by no download, import or merge of the journal")});
                continue;
            }
            ++result.recordsChecked;
            found->seen = true;
            const JournalEntry& by = entries[found->entry];
            if (!by.sealed())
                ++result.recordsInOpenEntries;
            QStringList parts;
            parts.reserve(qsizetype(positions.size()));
            for (std::size_t i = 0; i < positions.size(); ++i)
                parts << (positions[i] < 0 ? QString()
                                           : canonicalValue(table->columns[i], q.value(positions[i]), by.version));
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

    // Each unit's totals against the last download that read them, or one
    // that was sealed while that one was open (either may have stored last).
    for (auto it = totalsRead.cbegin(); it != totalsRead.cend(); ++it) {
        if ((serial && it.key() != *serial) || lastDeletion.value(it.key()) > it.value().last())
            continue;
        const JournalEntry& last = entries[it.value().last()];
        const qsizetype space = last.link.indexOf(' ');
        const int openedAt = space > 0 ? sealPosition.value(last.link.left(space)) : 0;
        QList<qint64> newest;
        for (qint64 id : it.value())
            if (id == last.id || (space >= 0 && sealPosition.value(entries[id].hash) > openedAt))
                newest << id;
        QSqlQuery q(db);
        q.prepare(
            QStringLiteral("SELECT \"LPasadasLocal\", \"LE3\", \"LCB\", \"LPasadasVecino\", \"DFechaTotales\", "
                           "\"THoraTotales\" FROM \"Programacion\" WHERE \"LNumeroSerie\" = ?"));
        q.addBindValue(it.key());
        if (!q.exec())
            return unreadable(q);
        if (!q.next())
            continue; // the unit's record went with it; its deletion is journaled
        const QVariant date = q.value(4);
        const QString readAt =
            (date.typeId() == QMetaType::QDate           ? date.toDate().toString(Qt::ISODate)
                 : date.typeId() == QMetaType::QDateTime ? date.toDateTime().date().toString(Qt::ISODate)
                                                         : date.toString().left(10))
            + QLatin1Char(' ') + q.value(5).toString();
        const QString stored = QStringLiteral(
                                   "passes-venue %1\nsensor-inactive %2\nerasures %3\npasses-neighbour "
                                   "%4\nread-at %5")
                                   .arg(q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                                        q.value(3).toString(), readAt);
        bool matches = false;
        for (qint64 id : newest)
            matches = matches || entries.value(id).totals == stored;
        if (!matches) {
            const QString journaled = entries.value(newest.last()).totals;
            result.findings.append({JournalFinding::Kind::TotalsDiffer, newest.last(), QStringLiteral("Programacion"),
                                    QString::number(it.key()),
                                    QStringLiteral("stored totals \"%1\" differ from entry %2's \"%3\"")
                                        .arg(QString(stored).replace(QLatin1Char('\n'), QStringLiteral("; ")))
                                        .arg(newest.last())
                                        .arg(QString(journaled).replace(QLatin1Char('\n'), QStringLiteral("; ")))});
        }
    }
    if (snapshot)
        QSqlQuery(db).exec(QStringLiteral("COMMIT"));
    return result;
}

DatabaseFailure Journal::lastFailure() const
{
    if (database_.isServer() && (!database_.connection().isOpen() || isConnectionLoss(lastSqlError_)))
        return DatabaseFailure{DatabaseFailure::Kind::ConnectionLost, lastError_};
    if (lastSqlError_.type() == QSqlError::NoError)
        return DatabaseFailure{DatabaseFailure::Kind::Other, lastError_};
    if (database_.isServer())
        return serverFailure(lastSqlError_.nativeErrorCode().toLatin1(), lastError_,
                             database_.connection().isOpen());
    DatabaseFailure f = sqliteFailure(lastSqlError_);
    if (!lastError_.isEmpty())
        f.detail = lastError_;
    return f;
}

} // namespace tvq52
