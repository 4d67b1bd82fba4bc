#include "db/database_merge.h"

#include "core/own_words.h"
#include "db/database.h"
#include "db/journal.h"
#include "db/row_check.h"
#include "db/schema.h"
#include "db/server_bulk.h"
#include "db/sqlite_statement.h"

#include <QFileInfo>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUuid>
#include <filesystem>
#include <sqlite3.h>

namespace tvq52 {

namespace {

const QString kSource = QStringLiteral("merge_source");

bool sameFile(const QString& a, const QString& b)
{
    // Links, hard links and relative paths all come down to one inode.
    std::error_code ec;
    const bool same =
        std::filesystem::equivalent(std::filesystem::path(a.toStdString()), std::filesystem::path(b.toStdString()), ec);
    return !ec && same;
}

// Run on the connection itself: Qt keeps no result code of a failed commit.
bool execSqlite(QSqlDatabase& db, const char* sql, DatabaseFailure& failure)
{
    const SqliteStep step = sqliteExec(sqliteHandle(db), sql);
    if (step.failed())
        failure = step.databaseFailure();
    return !step.failed();
}

QSet<QString> sourceColumns(QSqlDatabase& db, const QString& table)
{
    QSet<QString> names;
    QSqlQuery q(db);
    if (q.exec(QStringLiteral("PRAGMA %1.table_info(%2)").arg(kSource, quoteIdentifier(table))))
        while (q.next())
            names.insert(q.value(1).toString().toCaseFolded());
    return names;
}

qint64 scalar(QSqlDatabase& db, const QString& sql, QString* error)
{
    QSqlQuery q(db);
    if (!q.exec(sql) || !q.next()) {
        *error = q.lastError().text();
        return -1;
    }
    return q.value(0).toLongLong();
}

// Merges one table in its own transaction, listing the rows it adds in the
// merge's journal entry. A failure of the target's own (it cannot begin,
// write or commit) goes to `failure` and stops the merge; a source table that
// cannot be read only fails that table.
void mergeTable(QSqlDatabase& db, const TableDef& t, const QString& sourceName, MergeTableCount& count, qint64 entry,
                DatabaseFailure& failure)
{
    const QString target = quoteIdentifier(QString::fromUtf8(t.name));
    const QString source = kSource + QLatin1Char('.') + quoteIdentifier(sourceName);
    const QSet<QString> present = sourceColumns(db, sourceName);

    QStringList columns, values, tests, keyMatch;
    for (const ColumnDef& c : t.columns) {
        const QString name = QString::fromUtf8(c.name);
        const QString value = present.contains(name.toCaseFolded()) ? QStringLiteral("s.") + quoteIdentifier(name)
                                                                    : QStringLiteral("NULL");
        const bool key = t.isKey(c);
        columns << quoteIdentifier(name);
        values << value;
        tests << fitsCall(t, c, value);
        if (key)
            keyMatch << QStringLiteral("t.%1 = %2").arg(quoteIdentifier(name), value);
    }

    if (!execSqlite(db, "BEGIN", failure))
        return;
    count.read = scalar(db, QStringLiteral("SELECT count(*) FROM %1").arg(source), &count.error);
    if (count.read >= 0)
        count.present =
            scalar(db,
                   QStringLiteral("SELECT count(*) FROM %1 s WHERE EXISTS (SELECT 1 FROM main.%2 t WHERE %3)")
                       .arg(source, target, keyMatch.join(QLatin1String(" AND "))),
                   &count.error);
    if (count.read < 0 || count.present < 0) {
        db.rollback();
        count = MergeTableCount{count.table, 0, 0, 0, 0, count.error};
        return;
    }
    // Under the write lock the rows numbered after this one are the merge's own.
    const auto last = Journal::lastRow(db, QString::fromUtf8(t.name));
    const qint64 lastRow = last.ok() ? *last : -1;
    if (!last.ok()) {
        count.error = untranslatedText(last.error());
        db.rollback();
        count = MergeTableCount{count.table, 0, 0, 0, 0, count.error};
        return;
    }
    // Rows whose key is already there are ignored by the unique index.
    QSqlQuery insert(db);
    if (!insert.exec(QStringLiteral("INSERT OR IGNORE INTO main.%1 (%2) SELECT %3 FROM %4 s WHERE %5")
                         .arg(target, columns.join(QLatin1String(", ")), values.join(QLatin1String(", ")), source,
                              tests.join(QLatin1String(" AND "))))) {
        sqlite3* handle = sqliteHandle(db);
        failure = handle ? sqliteFailure(sqlite3_errcode(handle), QString::fromUtf8(sqlite3_errmsg(handle)))
                         : sqliteFailure(insert.lastError());
        db.rollback();
        count = MergeTableCount{count.table, 0, 0, 0, 0, QString()};
        return;
    }
    count.added = insert.numRowsAffected();
    insert.finish();
    if (const Status listed = Journal::addRowsAfter(db, entry, QString::fromUtf8(t.name), lastRow); !listed) {
        const QString journalError = untranslatedText(listed.error());
        sqlite3* handle = sqliteHandle(db);
        failure = handle ? sqliteFailure(sqlite3_errcode(handle), journalError) : sqliteFailure(db.lastError());
        db.rollback();
        count = MergeTableCount{count.table, 0, 0, 0, 0, QString()};
        return;
    }
    if (!execSqlite(db, "COMMIT", failure)) {
        db.rollback();
        count = MergeTableCount{count.table, 0, 0, 0, 0, QString()};
        return;
    }
    count.refused = std::max<qint64>(0, count.read - count.added - count.present);
}

// The name a source table goes by (any case), empty when it has none.
QString sourceTableName(const QStringList& sourceTables, const char* name)
{
    for (const QString& s : sourceTables)
        if (s.compare(QString::fromUtf8(name), Qt::CaseInsensitive) == 0)
            return s;
    return QString();
}

// Every shared table in turn, counted into `result`; `mergeOne` moves one
// table's rows. Each PC keeps its own settings row.
template <typename MergeOne>
void mergeSharedTables(const QStringList& sourceTables, const MergeProgress& progress, MergeResult& result,
                       MergeOne&& mergeOne)
{
    QList<const TableDef*> tables;
    for (const TableDef& t : schemaTables())
        if (!isLocalTable(t))
            tables << &t;
    for (int i = 0; i < tables.size(); ++i) {
        const TableDef& t = *tables[i];
        MergeTableCount count;
        count.table = QString::fromUtf8(t.name);
        if (progress)
            progress(count.table, i, int(tables.size()));
        const QString name = sourceTableName(sourceTables, t.name);
        if (name.isEmpty())
            count.error = QStringLiteral("no such table: %1").arg(count.table);
        else
            mergeOne(t, name, count);
        result.tables << count;
        if (result.failure.failed()) {
            result.failedTable = count.table;
            return;
        }
    }
}

void runMerge(QSqlDatabase& db, const QString& sourcePath, const MergeProgress& progress, MergeResult& result,
              qint64 entry)
{
    QSqlQuery q(db);
    if (!registerFitsFunction(sqliteHandle(db))) {
        result.failure = sqliteFailure(db.lastError());
        return;
    }
    q.prepare(QStringLiteral("ATTACH DATABASE ? AS ") + kSource);
    q.addBindValue(QUrl::fromLocalFile(QFileInfo(sourcePath).absoluteFilePath()).toString(QUrl::FullyEncoded)
                   + QStringLiteral("?mode=ro"));
    if (!q.exec()) {
        result.fault = MergeResult::Fault::NotOurs;
        result.detail = q.lastError().text();
        return;
    }
    // A file that is not a database only shows itself on the first read.
    QStringList sourceTables;
    if (!q.exec(QStringLiteral("SELECT name FROM %1.sqlite_master WHERE type = 'table'").arg(kSource))) {
        result.fault = MergeResult::Fault::NotOurs;
        result.detail = q.lastError().text();
    } else {
        while (q.next())
            sourceTables << q.value(0).toString();
        q.finish();
        if (sourceTableName(sourceTables, "Programacion").isEmpty())
            result.fault = MergeResult::Fault::NotOurs;
        else
            mergeSharedTables(sourceTables, progress, result,
                              [&](const TableDef& t, const QString& name, MergeTableCount& count) {
                                  mergeTable(db, t, name, count, entry, result.failure);
                              });
    }
    q.exec(QStringLiteral("DETACH DATABASE ") + kSource);
}

// Into a server the source cannot be attached: its rows are read through
// their own read-only SQLite connection and go over in batches, each
// inserting what is missing and counting what was there.
class ServerMerge {
public:
    static constexpr int kBatchRows = 2000;

    ServerMerge(ServerBulk& bulk, sqlite3* source, QSqlDatabase target, qint64 entry)
        : bulk_(bulk), source_(source), target_(std::move(target)), entry_(entry)
    {}

    // The first failure of the server itself.
    DatabaseFailure failure;

    void mergeTable(const TableDef& t, const QString& sourceName, MergeTableCount& count)
    {
        table_ = &t;
        SqliteStatement rows;
        if (const SqliteStep prepared = rows.prepare(source_, selectStatement(t, sourceName)); prepared.failed()) {
            count.error = prepared.message;
            return;
        }
        const ServerBulk::Answer begin = bulk_.exec("BEGIN", {});
        if (!begin.ok()) {
            serverError(begin, count);
            count.error.clear();
            return;
        }
        // The rows numbered after this one are listed in the merge's entry before the commit.
        const auto last = Journal::lastRow(target_, QString::fromUtf8(t.name));
        const qint64 lastRow = last.ok() ? *last : -1;
        if (!last.ok())
            count.error = untranslatedText(last.error());
        journalFailure(count);
        readRows(rows, count);
        if (count.error.isEmpty())
            flush(count);
        if (count.error.isEmpty())
            collect(count);
        if (count.error.isEmpty() && lastRow >= 0) {
            if (const Status listed = Journal::addRowsAfter(target_, entry_, QString::fromUtf8(t.name), lastRow);
                !listed)
                count.error = untranslatedText(listed.error());
            journalFailure(count);
        }
        if (!count.error.isEmpty() && inFlight_)
            bulk_.receive(); // the connection must be free for the rollback
        inFlight_ = false;
        const ServerBulk::Answer end = bulk_.exec(count.error.isEmpty() ? "COMMIT" : "ROLLBACK", {});
        if (count.error.isEmpty() && !end.ok())
            serverError(end, count);
        if (!count.error.isEmpty()) {
            // The server's own failure stops the merge; it says nothing of the source table.
            count = MergeTableCount{count.table, 0, 0, 0, 0, failure.failed() ? QString() : count.error};
            return;
        }
        count.refused = std::max<qint64>(0, count.read - count.added - count.present);
    }

private:
    // Every column of the target (NULL where the source has none), then
    // whether the key fits, then whether the whole row does.
    QString selectStatement(const TableDef& t, const QString& sourceName)
    {
        QSet<QString> present;
        SqliteStatement info;
        if (!info.prepare(source_, QStringLiteral("PRAGMA table_info(%1)").arg(quoteIdentifier(sourceName))).failed())
            while (info.step().row())
                present.insert(QString::fromUtf8(info.text(1)).toCaseFolded());
        QStringList values, keyTests, allTests;
        keyIndex_.clear();
        for (const ColumnDef& c : t.columns) {
            const QString name = QString::fromUtf8(c.name);
            const QString value = present.contains(name.toCaseFolded()) ? QStringLiteral("s.") + quoteIdentifier(name)
                                                                        : QStringLiteral("NULL");
            values << value;
            allTests << fitsCall(t, c, value);
            if (t.isKey(c)) {
                keyTests << fitsCall(t, c, value);
                keyIndex_.push_back(int(values.size()) - 1);
            }
        }
        return QStringLiteral("SELECT %1, %2, %3 FROM %4 s")
            .arg(values.join(QLatin1String(", ")), keyTests.join(QLatin1String(" AND ")),
                 allTests.join(QLatin1String(" AND ")), quoteIdentifier(sourceName));
    }

    // The value as PostgreSQL reads it; the fit tests have checked its type.
    static QByteArray serverValue(const SqliteStatement& rows, int c, const ColumnDef& column)
    {
        if (rows.isNull(c))
            return QByteArray();
        switch (column.type) {
        case ColumnType::Boolean:
            return serverBoolText(rows.integer(c) != 0);
        case ColumnType::Single:
            return serverRealText(float(rows.real(c)));
        default:
            return QByteArray(rows.text(c), rows.bytes(c));
        }
    }

    // Reads the source's rows into batches, sending each as it fills.
    void readRows(SqliteStatement& rows, MergeTableCount& count)
    {
        const TableDef& t = *table_;
        const int columns = int(t.columns.size());
        pendingRows_ = 0;
        fitting_ = 0;
        misfitKeys_.clear();
        arrays_.assign(size_t(columns) + 1, ServerArray());
        SqliteStep step;
        while (count.error.isEmpty() && (step = rows.step()).row()) {
            ++count.read;
            if (!rows.integer(columns))
                continue; // a key the target cannot hold: refused
            const bool fitsAll = rows.integer(columns + 1) != 0;
            arrays_[0].append(serverBoolText(fitsAll));
            for (int c = 0; c < columns; ++c)
                arrays_[size_t(c) + 1].append(fitsAll ? serverValue(rows, c, t.columns[size_t(c)]) : QByteArray());
            if (fitsAll) {
                ++fitting_;
            } else {
                // Of a row that does not fit, only its key is looked up.
                misfitKeys_.resize(keyIndex_.size());
                for (size_t k = 0; k < keyIndex_.size(); ++k)
                    misfitKeys_[k].append(serverValue(rows, keyIndex_[k], t.columns[size_t(keyIndex_[k])]));
            }
            if (++pendingRows_ == kBatchRows)
                flush(count);
        }
        if (count.error.isEmpty() && step.failed())
            count.error = step.message;
    }

    QByteArray insertStatement() const
    {
        const TableDef& t = *table_;
        QStringList names, arrays{QStringLiteral("$1::boolean[]")}, keys;
        for (const ColumnDef& c : t.columns) {
            names << quoteIdentifier(QString::fromUtf8(c.name));
            arrays << QStringLiteral("$%1::%2[]").arg(names.size() + 1).arg(serverCast(c));
        }
        for (const char* k : t.key)
            keys << quoteIdentifier(QString::fromUtf8(k));
        const QString columns = names.join(QLatin1Char(','));
        return QStringLiteral(
                   "INSERT INTO %1 (%2) SELECT %2 FROM unnest(%3) AS v (fits,%2) WHERE fits "
                   "ON CONFLICT (%4) DO NOTHING")
            .arg(quoteIdentifier(QString::fromUtf8(t.name)), columns, arrays.join(QLatin1Char(',')),
                 keys.join(QLatin1Char(',')))
            .toUtf8();
    }

    // How many of the given keys are there.
    QByteArray presentStatement() const
    {
        const TableDef& t = *table_;
        QStringList arrays, keys, match;
        for (int k : keyIndex_) {
            const ColumnDef& c = t.columns[size_t(k)];
            keys << quoteIdentifier(QString::fromUtf8(c.name));
            arrays << QStringLiteral("$%1::%2[]").arg(arrays.size() + 1).arg(serverCast(c));
            match << QStringLiteral("t.%1 = v.%1").arg(keys.last());
        }
        return QStringLiteral("SELECT count(*) FROM unnest(%1) AS v (%2) JOIN %3 t ON %4")
            .arg(arrays.join(QLatin1Char(',')), keys.join(QLatin1Char(',')), quoteIdentifier(QString::fromUtf8(t.name)),
                 match.join(QLatin1String(" AND ")))
            .toUtf8();
    }

    ServerBulk::Answer exec(const QByteArray& name, const QByteArray& sql, const std::vector<QByteArray>& params)
    {
        return bulk_.execNamed(name, sql, params);
    }

    // The journal is written on the server too: its failure is the server's, not the source table's.
    void journalFailure(const MergeTableCount& count)
    {
        if (!count.error.isEmpty() && !failure.failed())
            failure = serverFailure(QByteArray(), count.error, target_.isOpen());
    }

    void serverError(const ServerBulk::Answer& r, MergeTableCount& count)
    {
        if (!failure.failed())
            failure = serverFailure(r.sqlState(), r.error(), r.connectionUp());
        count.error = failure.detail.isEmpty() ? QStringLiteral("server") : failure.detail;
    }

    // Sends the batch read so far after counting the one before: the server
    // stores a batch while the next is read from the source.
    void flush(MergeTableCount& count)
    {
        if (pendingRows_ == 0)
            return;
        collect(count);
        if (!count.error.isEmpty())
            return;
        std::vector<QByteArray> params;
        for (ServerArray& a : arrays_)
            params.push_back(a.finish());
        const QByteArray name = "tvq52_merge_" + QByteArray(table_->name).toLower();
        if (const Status prepared = bulk_.ensurePrepared(name, insertStatement(), int(params.size())); !prepared) {
            count.error = prepared.error().detail;
            failure = serverFailure(QByteArray(), count.error, bulk_.connectionUp());
            return;
        }
        if (!bulk_.sendPrepared(name, params)) {
            failure = serverFailure(QByteArray(), bulk_.connectionError(), bulk_.connectionUp());
            count.error = failure.detail;
            return;
        }
        inFlight_ = true;
        sentFitting_ = fitting_;
        sentMisfitKeys_.clear();
        for (ServerArray& a : misfitKeys_)
            sentMisfitKeys_.push_back(a.finish());
        pendingRows_ = 0;
        fitting_ = 0;
        misfitKeys_.clear();
    }

    // Counts the batch in flight.
    void collect(MergeTableCount& count)
    {
        if (!inFlight_)
            return;
        inFlight_ = false;
        const ServerBulk::Answer r = bulk_.receive();
        if (!r.ok()) {
            serverError(r, count);
            return;
        }
        // A fitting row not inserted had its key there, or another PC's meanwhile.
        count.added += r.affected();
        count.present += sentFitting_ - r.affected();
        if (sentMisfitKeys_.empty())
            return;
        const QByteArray table = QByteArray(table_->name).toLower();
        const ServerBulk::Answer p = exec("tvq52_present_" + table, presentStatement(), sentMisfitKeys_);
        if (!p.ok() || p.rows() != 1) {
            serverError(p, count);
            return;
        }
        count.present += QByteArray(p.text(0, 0)).toLongLong();
    }

    ServerBulk& bulk_;
    sqlite3* source_;
    QSqlDatabase target_;
    qint64 entry_;
    const TableDef* table_ = nullptr;
    std::vector<int> keyIndex_;
    int pendingRows_ = 0;
    std::vector<ServerArray> arrays_; // the fit flags, then each column
    qint64 fitting_ = 0;
    std::vector<ServerArray> misfitKeys_; // the keys of rows that do not fit, to look up
    bool inFlight_ = false;
    qint64 sentFitting_ = 0;
    std::vector<QByteArray> sentMisfitKeys_;
};

void runServerMerge(Database& target, const QString& sourcePath, const MergeProgress& progress, MergeResult& result,
                    qint64 entry)
{
    sqlite3* source = nullptr;
    const int opened = sqlite3_open_v2(QFileInfo(sourcePath).absoluteFilePath().toUtf8().constData(), &source,
                                       SQLITE_OPEN_READONLY, nullptr);
    const std::unique_ptr<sqlite3, int (*)(sqlite3*)> closer(source, sqlite3_close);
    QStringList sourceTables;
    {
        // A file that is not a database only shows itself on the first read.
        SqliteStatement q;
        SqliteStep step = opened == SQLITE_OK
            ? q.prepare(source, QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'"))
            : SqliteStep{SqliteStep::State::Failed, opened, QString::fromUtf8(sqlite3_errmsg(source))};
        while (!step.failed() && (step = q.step()).row())
            sourceTables << QString::fromUtf8(q.text(0));
        if (step.failed()) {
            result.fault = MergeResult::Fault::NotOurs;
            result.detail = step.message;
            return;
        }
    }
    if (sourceTableName(sourceTables, "Programacion").isEmpty()) {
        result.fault = MergeResult::Fault::NotOurs;
        return;
    }
    ServerBulk bulk(target.connection());
    if (!bulk.valid()) {
        result.failure = serverFailure(QByteArray(), target.connection().lastError().text(), false);
        return;
    }
    if (!registerFitsFunction(source)) {
        result.fault = MergeResult::Fault::NotOurs;
        result.detail = QString::fromUtf8(sqlite3_errmsg(source));
        return;
    }
    ServerMerge merge(bulk, source, target.connection(), entry);
    mergeSharedTables(sourceTables, progress, result,
                      [&](const TableDef& t, const QString& name, MergeTableCount& count) {
                          merge.mergeTable(t, name, count);
                          result.failure = merge.failure;
                      });
    if (result.failure.kind == DatabaseFailure::Kind::ConnectionLost)
        target.noteFailure(QSqlError(QString(), result.failure.detail, QSqlError::ConnectionError));
}

void mergeIntoFile(Database& target, const QString& sourcePath, const MergeProgress& progress, MergeResult& result,
                   qint64 entry)
{
    // Its own connection: the source is attached read-only, which needs URI names.
    const QString name = QStringLiteral("tvq52-merge-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(target.path());
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=5000"));
        if (!db.open()) {
            result.failure = sqliteFailure(db.lastError());
        } else {
            runMerge(db, sourcePath, progress, result, entry);
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
}

} // namespace

bool MergeResult::complete() const
{
    if (fault != Fault::None || failure.failed() || tables.isEmpty())
        return false;
    for (const MergeTableCount& t : tables)
        if (!t.error.isEmpty())
            return false;
    return true;
}

qint64 MergeResult::added() const
{
    qint64 n = 0;
    for (const MergeTableCount& t : tables)
        n += t.added;
    return n;
}

QString MergeResult::countsText() const
{
    QStringList lines;
    for (const MergeTableCount& t : tables)
        lines << (t.error.isEmpty() ? QStringLiteral("%1: added %2, present %3, refused %4")
                                          .arg(t.table)
                                          .arg(t.added)
                                          .arg(t.present)
                                          .arg(t.refused)
                                    : QStringLiteral("%1: not read (%2)").arg(t.table, t.error));
    if (failure.failed())
        lines << QStringLiteral("stopped at %1: %2").arg(failedTable, failure.detail);
    return lines.join(QLatin1Char('\n'));
}

MergeResult mergeDatabase(Database& target, const QString& sourcePath, const MergeProgress& progress)
{
    MergeResult result;
    if (!QFileInfo(sourcePath).isFile()) {
        result.fault = MergeResult::Fault::Missing;
        return result;
    }
    if (!target.isServer() && sameFile(sourcePath, target.path())) {
        result.fault = MergeResult::Fault::OwnDatabase;
        return result;
    }
    // The entry is open before any row is added. A PC's own file moved into
    // a server is SQLite's to read alone: it goes without a file hash.
    Journal journal(target);
    const auto hashed = fileSha256(sourcePath, target);
    const QByteArray source = hashed.ok() ? *hashed : QByteArray();
    const QString hashError = hashed.ok() ? QString() : untranslatedText(hashed.error());
    const std::optional<qint64> entry = journal.open(JournalAction::Merge, 0, QString(), source);
    if (!entry) {
        // A full, locked or read-only target is told as such: the merge did not start.
        const DatabaseFailure f = journal.lastFailure();
        if (f.kind != DatabaseFailure::Kind::Other) {
            result.failure = f;
        } else {
            result.fault = MergeResult::Fault::Journal;
            result.detail = journal.lastError();
        }
        return result;
    }
    if (target.isServer())
        runServerMerge(target, sourcePath, progress, result, *entry);
    else
        mergeIntoFile(target, sourcePath, progress, result, *entry);
    journal.seal(*entry, result.complete() ? QStringLiteral("completed") : QStringLiteral("failed"),
                 QFileInfo(sourcePath).absoluteFilePath()
                     + (source.isEmpty() ? QLatin1Char('\n') + hashError : QString()),
                 result.countsText());
    result.journalHead = journal.head();
    return result;
}

} // namespace tvq52
