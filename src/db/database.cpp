#include "db/database.h"

#include "db/case_folding.h"
#include "db/journal.h"
#include "db/store.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>

namespace tvq52 {

namespace {

QString newConnectionName()
{
    return QStringLiteral("tvq52-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

} // namespace

Database::Database(QString name, QString path, SqlDialect dialect)
    : name_(std::move(name)), path_(std::move(path)), dialect_(dialect)
{}

Database::~Database()
{
    {
        QSqlDatabase db = QSqlDatabase::database(name_, false);
        if (db.isValid()) {
            // Fold the write-ahead log into the file, so that a copy of the
            // file alone holds everything even while another program has it open.
            if (db.isOpen())
                QSqlQuery(db).exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name_);
}

std::unique_ptr<Database> Database::openSqlite(const QString& path, QString* error)
{
    if (!QFileInfo(path).isFile()) {
        if (error)
            *error = QStringLiteral("No se encuentra la base de datos %1").arg(path);
        return nullptr;
    }
    const QString name = newConnectionName();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        // The window and the command line may share the file: wait for the
        // other's write instead of failing at once.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        if (!db.open()) {
            if (error)
                *error = db.lastError().text();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
            return nullptr;
        }
        QString foldError;
        if (!registerCaseFolding(db, &foldError)) {
            if (error)
                *error = foldError;
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
            return nullptr;
        }
        QSqlQuery pragma(db);
        pragma.exec(QStringLiteral("PRAGMA foreign_keys = ON"));
        // A file that is not a database only shows itself on the first read.
        if (!pragma.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"))) {
            if (error)
                *error = pragma.lastError().text();
            pragma = QSqlQuery();
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
            return nullptr;
        }
        const bool ours = db.tables().contains(QStringLiteral("Programacion"), Qt::CaseInsensitive);
        // Each commit survives the program being killed; a power cut may lose
        // the last few, which the unit still holds. A file that cannot be
        // switched (read-only) keeps its own mode.
        pragma.exec(QStringLiteral("PRAGMA journal_mode = WAL"));
        pragma.exec(QStringLiteral("PRAGMA synchronous = NORMAL"));
        // A file written before the journal gets its tables; a foreign file is left alone.
        if (ours)
            ensureJournalTables(db, nullptr);
    }
    return std::unique_ptr<Database>(new Database(name, path, SqlDialect::SQLite));
}

bool Database::createSqlite(const QString& path, QString* error)
{
    if (QFileInfo::exists(path)) {
        if (error)
            *error = QStringLiteral("%1 already exists").arg(path);
        return false;
    }
    const QString name = newConnectionName();
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        ok = db.open();
        if (ok) {
            QSqlQuery q(db);
            q.exec(QStringLiteral("PRAGMA journal_mode = WAL"));
            db.transaction();
            for (const QString& statement : createSchemaStatements(SqlDialect::SQLite) + journalSchemaStatements()) {
                if (!q.exec(statement)) {
                    ok = false;
                    if (error)
                        *error = q.lastError().text();
                    break;
                }
            }
            if (ok) {
                Row row;
                row.set(QStringLiteral("ByCom"), 1);
                row.set(QStringLiteral("IIdioma"), 1000);
                row.set(QStringLiteral("ByTono"), 1);
                row.set(QStringLiteral("ByModem"), 0);
                row.set(QStringLiteral("TPrefijo"), QStringLiteral(" "));
                row.set(QStringLiteral("IModemSpeed"), 19200);
                row.set(QStringLiteral("TUsuario"), QString());
                QString insertError;
                ok = insertRow(db, *schemaTable(QStringLiteral("Configuracion")), row, &insertError);
                if (!ok && error)
                    *error = insertError;
            }
            ok = ok ? db.commit() : (db.rollback(), false);
        } else if (error) {
            *error = db.lastError().text();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    if (!ok)
        QFile::remove(path);
    return ok;
}

QString Database::verifySchema() const
{
    const QSqlDatabase db = connection();
    QStringList missing;
    const QStringList present = db.tables();
    for (const TableDef& t : schemaTables()) {
        const QString table = QString::fromUtf8(t.name);
        bool found = false;
        for (const QString& p : present)
            found = found || p.compare(table, Qt::CaseInsensitive) == 0;
        if (!found) {
            missing << table;
            continue;
        }
        const QSqlRecord record = db.record(table);
        for (const ColumnDef& c : t.columns) {
            bool has = false;
            for (int i = 0; i < record.count() && !has; ++i)
                has = record.fieldName(i).compare(QString::fromUtf8(c.name), Qt::CaseInsensitive) == 0;
            if (!has)
                missing << table + QLatin1Char('.') + QString::fromUtf8(c.name);
        }
    }
    return missing.join(QLatin1String(", "));
}

} // namespace tvq52
