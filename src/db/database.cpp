#include "db/database.h"

#include "core/own_words.h"
#include "core/regular_file.h"
#include "db/case_folding.h"
#include "db/database_failure.h"
#include "db/fleet_tables.h"
#include "db/journal_tables.h"
#include "db/server_bulk.h"
#include "db/server_roles.h"
#include "db/server_writes.h"
#include "db/sql_error.h"
#include "db/store.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>
#include <QUuid>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <unistd.h>

namespace tvq52 {

namespace {

QString newConnectionName()
{
    return QStringLiteral("tvq52-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QtMessageHandler passedOn = nullptr;

// The server driver warns on standard error, in English, for each prepared
// statement it cannot free once the server is gone, and Qt for each statement
// tried on the connection the driver then closed. The failure itself comes
// back as the statement's error and is told once, in the user's language.
void withoutServerDriverNoise(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtWarningMsg
        && (text.startsWith(QLatin1String("Unable to free statement"))
            || text == QLatin1String("QSqlQuery::exec: database not open")
            || text == QLatin1String("QSqlQuery::prepare: database not open")))
        return;
    if (passedOn)
        passedOn(type, context, text);
}

void quietServerDriver()
{
    static const bool installed = [] {
        passedOn = qInstallMessageHandler(withoutServerDriverNoise);
        return true;
    }();
    (void)installed;
}

// libpq writes what the server says outside a statement (a shutdown's
// "FATAL: terminating connection") to standard error in the server's words;
// the next statement fails with it and that failure is told in the user's.
void silenceServerNotices(const QSqlDatabase& db)
{
    if (PGconn* conn = serverHandle(db))
        PQsetNoticeProcessor(conn, [](void*, const char*) {}, nullptr);
}

} // namespace

Database::Database(QString name, DatabaseTarget target) : name_(std::move(name)), target_(std::move(target)) {}

Database::~Database()
{
    {
        QSqlDatabase db = QSqlDatabase::database(name_, false);
        if (db.isValid()) {
            // Fold the write-ahead log into the file, so that a copy of the
            // file alone holds everything even while another program has it open.
            if (db.isOpen() && !isServer() && !readOnly())
                QSqlQuery(db).exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name_);
}

namespace {

// access() also answers for a read-only file system, where root is refused too.
bool writable(const QString& path)
{
    return ::access(QFile::encodeName(path).constData(), W_OK) == 0;
}

// How a read-only connection names a file whose folder cannot be written.
// Where the log's shared memory is not there, SQLite cannot make it: the
// file is read as it stands (immutable), which holds everything when the
// log is empty. Commits still waiting in the log cannot be read so.
Result<QString> readOnlyUri(const QString& path)
{
    QString uri = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded)
        + QStringLiteral("?mode=ro");
    if (QFileInfo::exists(path + QStringLiteral("-shm")))
        return uri;
    if (QFileInfo(path + QStringLiteral("-wal")).size() > 0)
        return ownWords(QStringLiteral("La base de datos %1 tiene cambios en su registro (%2) que solo se pueden leer "
                                       "donde se pueda escribir: cópiela con su registro a otra carpeta."),
                        {path, path + QStringLiteral("-wal")});
    return uri + QStringLiteral("&immutable=1");
}

} // namespace

bool Database::canWrite(const QString& path)
{
    const QFileInfo file(path);
    return writable(file.absolutePath()) && (!file.exists() || writable(file.absoluteFilePath()));
}

Result<std::unique_ptr<Database>> Database::openSqlite(const QString& path, DatabaseAccess access)
{
    // A FIFO or a device in the file's place is there, but no database: said
    // as such rather than as missing.
    if (isNonRegularFile(path))
        return nonRegularFileError(path, FileUse::Read);
    if (!QFileInfo(path).isFile())
        return ownWords(QStringLiteral("No se encuentra la base de datos %1"), {path});
    const bool readOnly = access == DatabaseAccess::ReadOnly;
    // Where the folder can be written the file opens as always, as SQLite
    // may have to rebuild the log's index, which a read-only connection
    // cannot do; the connection then refuses every change.
    const bool openReadOnly = readOnly && !writable(QFileInfo(path).absolutePath());
    QString name = path;
    if (openReadOnly) {
        const Result<QString> uri = readOnlyUri(path);
        if (!uri)
            return uri.error();
        name = *uri;
    }
    const QString connectionName = newConnectionName();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
        db.setDatabaseName(name);
        // The window and the command line may share the file: wait for the
        // other's write instead of failing at once.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000")
                             + (openReadOnly ? QStringLiteral(";QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI") : QString()));
        const auto fail = [&](Error error) -> Result<std::unique_ptr<Database>> {
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(connectionName);
            return error;
        };
        if (!db.open())
            return fail(sqlError(db.lastError()));
        if (Status folding = registerCaseFolding(db); !folding)
            return fail(folding.error());
        QSqlQuery pragma(db);
        pragma.exec(QStringLiteral("PRAGMA foreign_keys = ON"));
        if (readOnly)
            pragma.exec(QStringLiteral("PRAGMA query_only = ON"));
        // A file that is not a database only shows itself on the first read.
        if (!pragma.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"))) {
            const Error error = sqlError(pragma.lastError());
            pragma = QSqlQuery();
            return fail(error);
        }
        const bool ours = db.tables().contains(QStringLiteral("Programacion"), Qt::CaseInsensitive);
        // Each commit survives the program being killed; a power cut may lose
        // the last few, which the unit still holds. A file that cannot be
        // switched (read-only) keeps its own mode.
        if (!readOnly) {
            pragma.exec(QStringLiteral("PRAGMA journal_mode = WAL"));
            pragma.exec(QStringLiteral("PRAGMA synchronous = NORMAL"));
        }
        // A file written before the journal gets its tables; a foreign file is left alone.
        if (ours && !readOnly) {
            (void)ensureJournalTables(db);
            (void)ensureFleetTables(db, SqlDialect::SQLite);
        }
    }
    std::unique_ptr<Database> database(new Database(connectionName, DatabaseTarget::sqlite(path)));
    database->access_ = access;
    return database;
}

Status Database::createSqlite(const QString& path)
{
    if (QFileInfo::exists(path))
        return ownWords(QStringLiteral("%1 already exists"), {path});
    const QString name = newConnectionName();
    bool ok = true;
    std::optional<Error> error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        ok = db.open();
        if (ok) {
            QSqlQuery q(db);
            q.exec(QStringLiteral("PRAGMA journal_mode = WAL"));
            db.transaction();
            for (const QString& statement : createSchemaStatements(SqlDialect::SQLite) + journalSchemaStatements()
                                                 + fleetSchemaStatements()) {
                if (!q.exec(statement)) {
                    ok = false;
                    error = sqlError(q.lastError());
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
                const Status inserted = insertRow(db, *schemaTable(QStringLiteral("Configuracion")), row);
                ok = inserted.ok();
                if (!ok)
                    error = inserted.error();
            }
            if (ok && !db.commit()) {
                ok = false;
                error = sqlError(db.lastError());
            } else if (!ok) {
                db.rollback();
            }
        } else {
            error = sqlError(db.lastError());
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    if (ok)
        return {};
    QFile::remove(path);
    return *error;
}

namespace {

bool needsPassword(const QString& text)
{
    return text.contains(QLatin1String("no password supplied"), Qt::CaseInsensitive)
        || text.contains(QLatin1String("password authentication failed"), Qt::CaseInsensitive);
}

} // namespace

Result<std::unique_ptr<Database>> Database::openServer(const DatabaseTarget& target, const PasswordSource& askPassword)
{
    using Kind = DatabaseFailure::Kind;
    const auto fail = [](Kind kind, const QString& text) -> Result<std::unique_ptr<Database>> {
        return databaseError(kind, text);
    };
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        return fail(Kind::Other,
                    QStringLiteral("Falta el controlador de PostgreSQL de Qt (libqt6sql6-psql)"));
    quietServerDriver();
    const QString name = newConnectionName();
    QString password;
    QString lastText;
    for (int attempt = 0; attempt < 4; ++attempt) {
        bool opened = false;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
            db.setHostName(target.host);
            db.setPort(target.port);
            db.setDatabaseName(target.database);
            db.setUserName(target.user);
            if (!password.isEmpty())
                db.setPassword(password);
            QStringList options = target.options.split(QLatin1Char(';'), Qt::SkipEmptyParts);
            if (!target.options.contains(QLatin1String("connect_timeout")))
                options << QStringLiteral("connect_timeout=10");
            options << QStringLiteral("application_name=tvq52");
            db.setConnectOptions(options.join(QLatin1Char(';')));
            opened = db.open();
            if (!opened)
                lastText =
                    db.lastError().databaseText().isEmpty() ? db.lastError().text() : db.lastError().databaseText();
        }
        if (opened)
            break;
        QSqlDatabase::removeDatabase(name);
        if (!needsPassword(lastText) || !askPassword || attempt == 3)
            return fail(connectFailure(lastText), lastText.trimmed());
        const std::optional<QString> given = askPassword(target);
        if (!given)
            return fail(Kind::Authentication, lastText.trimmed());
        password = *given;
    }
    std::unique_ptr<Database> database(new Database(name, target));
    silenceServerNotices(database->connection());
    QSqlQuery q(database->connection());
    if (!q.exec(QStringLiteral("SHOW server_encoding")) || !q.next())
        return fail(Kind::Other, q.lastError().text());
    if (q.value(0).toString().compare(QLatin1String("UTF8"), Qt::CaseInsensitive) != 0)
        return fail(Kind::NotUtf8, q.value(0).toString());
    q.finish();
    if (Status session = database->prepareSession(); !session)
        return fail(Kind::Other, untranslatedText(session.error()));
    const Result<Right> right = askRight(*database);
    if (!right)
        return right.error();
    database->noteRight(*right);
    // A database laid out before the office tables gets them; one not yet
    // laid out gets them with the rest. A current one is left alone.
    if (!database->schemaCurrent() && q.exec(QStringLiteral("SELECT to_regclass('\"Intervalos\"') IS NOT NULL AND "
                              "to_regclass('\"Programacion\"') IS NOT NULL"))
        && q.next() && q.value(0).toBool()) {
        q.finish();
        (void)ensureFleetTables(database->connection(), SqlDialect::PostgreSQL);
        (void)ensureServerWriteFunctions(database->connection());
    }
    return database;
}

Status Database::prepareSession()
{
    // Texts arrive as UTF-8 whatever the PC's locale; dates in ISO order.
    QSqlQuery q(connection());
    for (const QByteArray& setting : serverSessionSettings()) {
        if (!q.exec(QString::fromLatin1(setting)))
            return sqlError(q.lastError());
    }
    return {};
}

const std::vector<QByteArray>& serverSessionSettings()
{
    static const std::vector<QByteArray> settings{"SET client_encoding = 'UTF8'", "SET DateStyle = 'ISO, YMD'",
                                                  "SET client_min_messages = warning"};
    return settings;
}

bool isConnectionLoss(const QSqlError& error)
{
    if (error.type() == QSqlError::ConnectionError)
        return true;
    // Class 08 is a broken connection; 57P01..57P03 a server shutting down,
    // crashed or starting.
    const QString code = error.nativeErrorCode();
    if (code.startsWith(QLatin1String("08")) || code == QLatin1String("57P01") || code == QLatin1String("57P02")
        || code == QLatin1String("57P03"))
        return true;
    if (!code.isEmpty())
        return false;
    // libpq's own words when the socket closed under it (no SQLSTATE then).
    const QString text = error.databaseText() + QLatin1Char(' ') + error.driverText();
    for (const char* words :
         {"server closed the connection", "no connection to the server", "terminating connection",
          "could not send data", "could not receive data", "connection not open", "lost synchronization"})
        if (text.contains(QLatin1String(words), Qt::CaseInsensitive))
            return true;
    return false;
}

bool Database::foldLog()
{
    if (isServer())
        return true;
    QSqlQuery q(connection());
    // The first column is 1 when a reader or writer elsewhere kept the
    // checkpoint from finishing.
    return q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")) && q.next() && q.value(0).toInt() == 0;
}

void Database::noteFailure(const QSqlError& error)
{
    if (isServer() && isConnectionLoss(error))
        lost_ = true;
}

Status Database::reconnect()
{
    if (!isServer())
        return {};
    QSqlDatabase db = connection();
    // The old connection's prepared statements die with it.
    ++generation_;
    db.close();
    if (!db.open()) {
        lost_ = true;
        const QSqlError e = db.lastError();
        return finalText(e.databaseText().isEmpty() ? e.text() : e.databaseText());
    }
    lost_ = false;
    return prepareSession();
}

Status Database::ensureConnected()
{
    if (!isServer())
        return {};
    if (!lost_) {
        QSqlQuery probe(connection());
        if (probe.exec(QStringLiteral("SELECT 1")))
            return {};
        if (!isConnectionLoss(probe.lastError()))
            return sqlError(probe.lastError());
    }
    return reconnect();
}

Result<std::unique_ptr<Database>> Database::open(const DatabaseTarget& target, const PasswordSource& askPassword)
{
    if (target.isServer())
        return openServer(target, askPassword);
    return openSqlite(target.path);
}

namespace {

struct ServerTable {
    QString name;
    QStringList columns;
    QStringList added = {}; // columns a later version added: the table is only partial without them
};

// Our tables as a server database should hold them (the journal's included).
std::vector<ServerTable> expectedServerTables()
{
    std::vector<ServerTable> tables;
    for (const TableDef& t : schemaTables()) {
        if (isLocalTable(t))
            continue;
        ServerTable s{QString::fromUtf8(t.name), t.columnNames()};
        s.columns << QLatin1String(kServerRowId);
        tables.push_back(s);
    }
    tables.push_back(
        {QStringLiteral("Diario"),
         {QStringLiteral("LId"), QStringLiteral("TFechaHora"), QStringLiteral("TAccion"),
          QStringLiteral("LNumeroSerie"), QStringLiteral("TLinea"), QStringLiteral("TResultado"),
          QStringLiteral("TMensaje"), QStringLiteral("TRecuentos"), QStringLiteral("TTotales"), QStringLiteral("THash"),
          QStringLiteral("LAnterior"), QStringLiteral("LSello"), QStringLiteral("IVersion"), QStringLiteral("TEnlace"),
          QStringLiteral("TOrigen"), QStringLiteral("TProcedencia"), QStringLiteral("TFirmaApertura"),
          QStringLiteral("TFirmaCierre"), QStringLiteral("ISelloPendiente"), QStringLiteral("THuellaLineas"),
          QStringLiteral("TUsuario"), QStringLiteral("INumeroMensaje"), QStringLiteral("TArgumentosMensaje")},
         {QStringLiteral("IVersion"), QStringLiteral("TEnlace"), QStringLiteral("TOrigen"),
          QStringLiteral("TProcedencia"), QStringLiteral("TFirmaApertura"), QStringLiteral("TFirmaCierre"),
          QStringLiteral("ISelloPendiente"), QStringLiteral("THuellaLineas"), QStringLiteral("TUsuario"),
          QStringLiteral("INumeroMensaje"), QStringLiteral("TArgumentosMensaje")}});
    tables.push_back({QStringLiteral("DiarioRegistros"),
                      {QLatin1String(kServerRowId), QStringLiteral("LEntrada"), QStringLiteral("TTabla"),
                       QStringLiteral("TClave"), QStringLiteral("THuella"), QStringLiteral("TClaveFin"),
                       QStringLiteral("BRegistros")},
                      {QStringLiteral("TClaveFin"), QStringLiteral("BRegistros")}});
    return tables;
}

} // namespace

SchemaState Database::inspectSchema(QString* detail) const
{
    QStringList missing;
    QStringList foreign;
    int present = 0;
    QSqlQuery q(connection());
    q.prepare(
        QStringLiteral("SELECT column_name FROM information_schema.columns "
                       "WHERE table_schema = current_schema() AND table_name = ?"));
    for (const ServerTable& t : expectedServerTables()) {
        q.addBindValue(t.name);
        QStringList have;
        if (q.exec())
            while (q.next())
                have << q.value(0).toString();
        if (have.isEmpty()) {
            missing << t.name;
            continue;
        }
        ++present;
        QStringList want = t.columns;
        want.sort();
        have.sort();
        if (want != have) {
            QStringList lacking;
            for (const QString& c : want)
                if (!have.contains(c))
                    lacking << c;
            bool older = true;
            for (const QString& c : lacking)
                older = older && t.added.contains(c);
            for (const QString& c : have)
                older = older && want.contains(c);
            if (older)
                missing << QStringLiteral("%1 (%2)").arg(t.name, lacking.join(QLatin1String(", ")));
            else
                foreign << t.name;
        }
    }
    if (!foreign.isEmpty()) {
        if (detail)
            *detail = foreign.join(QLatin1String(", "));
        return SchemaState::Foreign;
    }
    if (detail)
        *detail = missing.join(QLatin1String(", "));
    if (missing.isEmpty())
        return SchemaState::Ready;
    return present == 0 ? SchemaState::Empty : SchemaState::Partial;
}

namespace {

// Bump with every change to what the lay-out installs: a database whose
// mark is older is laid out again at its next open, by a login that may.
constexpr int kServerSchemaVersion = 4;

// What the lay-out installs after the record tables, in order, inside its
// transaction: tables, then server functions and triggers.
using LayOutStep = Status (*)(QSqlDatabase);
const LayOutStep kLayOutSteps[] = {
    // The journal's tables and the columns they gained; a journal that was
    // there and is gone is begun again with an entry that says so.
    [](QSqlDatabase db) { return ensureJournalTables(db, SqlDialect::PostgreSQL); },
    [](QSqlDatabase db) { return ensureFleetTables(db, SqlDialect::PostgreSQL, false); },
    // Every write of ours goes through these; they name the tables above.
    installServerWriteFunctions,
};

// The mark is a function's body, which anyone can read in the catalogue
// and no one needs to run.
Status writeSchemaMark(QSqlDatabase db)
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("CREATE OR REPLACE FUNCTION tvq52_schema_version() RETURNS integer "
                               "LANGUAGE sql IMMUTABLE AS 'SELECT %1'")
                    .arg(kServerSchemaVersion)))
        return sqlError(q.lastError());
    return {};
}

} // namespace

bool Database::schemaCurrent() const
{
    if (!isServer())
        return true;
    QSqlQuery q(connection());
    return q.exec(QStringLiteral("SELECT max(substring(p.prosrc from '[0-9]+')::int) FROM pg_catalog.pg_proc p "
                                 "WHERE p.proname = 'tvq52_schema_version' "
                                 "AND p.pronamespace = to_regnamespace(current_schema())"))
        && q.next() && q.value(0).toInt() >= kServerSchemaVersion;
}

Status Database::layOutSchemaInTransaction()
{
    if (!isServer())
        return ownWords(QStringLiteral("Solo una base de datos en un servidor se prepara así"));
    QString detail;
    if (inspectSchema(&detail) == SchemaState::Foreign)
        return ownWords(QStringLiteral("La base de datos ya tiene tablas con estos nombres y otras columnas: %1"),
                        {detail});
    // Statements come in table/index pairs; a table that is there keeps
    // itself and its index as they are.
    QSqlDatabase db = connection();
    QSqlQuery q(db);
    // Two programs laying out at once would replace each other's functions
    // mid-way; the second waits and finds them made.
    if (!q.exec(QStringLiteral("SELECT pg_advisory_xact_lock(5252001)")))
        return sqlError(q.lastError());
    QSqlQuery exists(db);
    exists.prepare(QStringLiteral("SELECT to_regclass(?) IS NOT NULL"));
    bool skipping = false;
    const QStringList statements = createSchemaStatements(SqlDialect::PostgreSQL);
    for (const QString& statement : statements) {
        if (statement.startsWith(QLatin1String("CREATE TABLE"))) {
            const QString table = statement.section(QLatin1Char('"'), 1, 1);
            exists.addBindValue(quoteIdentifier(table));
            skipping = exists.exec() && exists.next() && exists.value(0).toBool();
        }
        if (skipping)
            continue;
        if (!q.exec(statement))
            return sqlError(q.lastError());
    }
    for (const LayOutStep step : kLayOutSteps)
        if (Status done = step(db); !done)
            return done;
    return writeSchemaMark(db);
}

Status Database::layOutSchema()
{
    if (!isServer())
        return ownWords(QStringLiteral("Solo una base de datos en un servidor se prepara así"));
    QSqlDatabase db = connection();
    ServerRoles roles(*this);
    const Result<bool> withRoles = roles.present();
    if (!withRoles)
        return withRoles.status();
    if (!db.transaction())
        return sqlError(db.lastError());
    const auto fail = [&](const Error& error) -> Status {
        db.rollback();
        return error;
    };
    // With office roles, what is made belongs to the owner and takes the
    // groups' rights, as setup leaves everything.
    std::optional<ServerRoleNames> names;
    if (*withRoles) {
        const Result<ServerRoleNames> found = roles.names();
        if (!found)
            return fail(found.error());
        names = *found;
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("SET LOCAL ROLE %1").arg(quoteIdentifier(names->owner))))
            return fail(sqlError(q.lastError()));
    }
    if (Status laid = layOutSchemaInTransaction(); !laid)
        return fail(laid.error());
    if (names)
        if (Status granted = roles.applyGrants(*names); !granted)
            return fail(granted.error());
    if (!db.commit())
        return sqlError(db.lastError());
    return {};
}

QStringList serverTableNames()
{
    QStringList names;
    for (const ServerTable& t : expectedServerTables())
        names << t.name;
    return names << QStringLiteral("NochesExcedidas") << QStringLiteral("DiarioVerificado");
}

QString Database::verifySchema() const
{
    if (isServer()) {
        QString detail;
        const SchemaState state = inspectSchema(&detail);
        return state == SchemaState::Ready ? QString() : detail.isEmpty() ? QStringLiteral("?") : detail;
    }
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
