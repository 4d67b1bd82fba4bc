#include "db/server_roles.h"

#include "core/own_words.h"
#include "db/database.h"
#include "db/schema.h"
#include "db/sql_error.h"

#include <QSqlError>
#include <QSqlQuery>

namespace tvq52 {

namespace {

constexpr Right kLevels[] = {Right::Read, Right::Collect, Right::Admin};

// The server cuts longer names to this many bytes, which would give two
// roles one name.
constexpr qsizetype kMaxRoleName = 63;

// Who may call a function of ours, by its name: nobody for the rest.
std::optional<Right> callerOf(const QString& function)
{
    if (function.startsWith(QLatin1String("tvq52_read_")))
        return Right::Read;
    if (function.startsWith(QLatin1String("tvq52_journal_")) || function.startsWith(QLatin1String("tvq52_collect_")))
        return Right::Collect;
    if (function.startsWith(QLatin1String("tvq52_admin_")))
        return Right::Admin;
    return std::nullopt;
}

Status run(QSqlQuery& q, const QString& sql)
{
    if (!q.exec(sql))
        return sqlError(q.lastError());
    return {};
}

// What the grant and revoke functions refuse: a role that is no login, a
// superuser, or one of the database's own roles (taking collect from admin
// would undo the levels).
QString loginCheckSql()
{
    return QStringLiteral(
        "IF NOT EXISTS (SELECT 1 FROM pg_catalog.pg_roles WHERE rolname = login AND rolcanlogin AND NOT rolsuper) "
        "OR login IN (base || '_read', base || '_collect', base || '_admin', base || '_owner') THEN "
        "RAISE EXCEPTION 'not a login that can be given a level: %', login USING ERRCODE = '42501'; END IF; ");
}

// The grant and revoke functions: they run as the owner, which holds the
// three groups with the right to hand them out, so an admin needs no
// CREATEROLE; they hand out nothing else.
QStringList managementFunctions(const QString& schema)
{
    const QString head = QStringLiteral(
                             "LANGUAGE plpgsql SECURITY DEFINER SET search_path = %1, pg_temp AS $f$ "
                             "DECLARE base text := 'tvq52_' || current_database(); r text; BEGIN ")
                             .arg(quoteIdentifier(schema));
    const QString revokeOthers = QStringLiteral(
        "FOREACH r IN ARRAY ARRAY['read', 'collect', 'admin'] LOOP "
        "IF r IS DISTINCT FROM %1 AND EXISTS (SELECT 1 FROM pg_catalog.pg_auth_members m "
        "JOIN pg_catalog.pg_roles g ON g.oid = m.roleid JOIN pg_catalog.pg_roles u ON u.oid = m.member "
        "WHERE g.rolname = base || '_' || r AND u.rolname = login) THEN "
        "EXECUTE format('REVOKE %I FROM %I', base || '_' || r, login); END IF; END LOOP; ");
    return {
        QStringLiteral("CREATE OR REPLACE FUNCTION tvq52_admin_grant(login text, level text) RETURNS void ") + head
            + QStringLiteral("IF level IS NULL OR level NOT IN ('read', 'collect', 'admin') THEN "
                             "RAISE EXCEPTION 'no such level: %', level USING ERRCODE = '22023'; END IF; ")
            + loginCheckSql() + revokeOthers.arg(QStringLiteral("level"))
            + QStringLiteral("EXECUTE format('GRANT %I TO %I', base || '_' || level, login); END $f$"),
        QStringLiteral("CREATE OR REPLACE FUNCTION tvq52_admin_revoke(login text) RETURNS void ") + head
            + loginCheckSql() + revokeOthers.arg(QStringLiteral("NULL")) + QStringLiteral("END $f$"),
    };
}

QString quotedList(const QStringList& names)
{
    QStringList quoted;
    for (const QString& n : names)
        quoted << quoteIdentifier(n);
    return quoted.join(QLatin1String(", "));
}

} // namespace

std::optional<Right> roleLevelFromName(const QString& name)
{
    for (Right level : kLevels)
        if (rightWord(level) == name)
            return level;
    return std::nullopt;
}

ServerRoleNames ServerRoleNames::forDatabase(const QString& database)
{
    return {rightsRoleName(database, Right::Read), rightsRoleName(database, Right::Collect),
            rightsRoleName(database, Right::Admin), rightsRoleName(database, Right::None)};
}

const QString& ServerRoleNames::of(Right level) const
{
    return level == Right::Admin ? admin : level == Right::Collect ? collect : read;
}

ServerRoles::ServerRoles(Database& database) : database_(database), db_(database.connection()) {}

Result<ServerRoleNames> ServerRoles::names() const
{
    QSqlQuery q(db_);
    if (!q.exec(QStringLiteral("SELECT current_database()")) || !q.next())
        return sqlError(q.lastError());
    return ServerRoleNames::forDatabase(q.value(0).toString());
}

Result<bool> ServerRoles::present() const
{
    const Result<ServerRoleNames> roles = names();
    if (!roles)
        return roles.error();
    QSqlQuery q(db_);
    q.prepare(
        QStringLiteral("SELECT EXISTS (SELECT 1 FROM pg_catalog.pg_class c JOIN pg_catalog.pg_roles r "
                       "ON r.oid = c.relowner WHERE c.oid = to_regclass('\"Diario\"') AND r.rolname = ?)"));
    q.addBindValue(roles->owner);
    if (!q.exec() || !q.next())
        return sqlError(q.lastError());
    return q.value(0).toBool();
}

Status ServerRoles::applyGrants(const ServerRoleNames& roles)
{
    QSqlQuery list(db_);
    QSqlQuery q(db_);
    const QString everyone = QStringLiteral("PUBLIC, ") + quotedList({roles.read, roles.collect, roles.admin});
    // Our tables, and the sequences that number their rows.
    list.prepare(QStringLiteral(
        "SELECT c.oid::regclass::text, c.relkind = 'S' FROM pg_catalog.pg_class c "
        "WHERE c.relnamespace = to_regnamespace(current_schema()) AND (c.relname = ANY (string_to_array(?, '\n')) "
        "OR c.relkind = 'S' AND EXISTS (SELECT 1 FROM pg_catalog.pg_depend d JOIN pg_catalog.pg_class t "
        "ON t.oid = d.refobjid WHERE d.objid = c.oid AND d.classid = 'pg_class'::regclass "
        "AND t.relname = ANY (string_to_array(?, '\n')))) AND c.relkind IN ('r', 'p', 'v', 'm', 'S') ORDER BY 1"));
    const QString tables = serverTableNames().join(QLatin1Char('\n'));
    list.addBindValue(tables);
    list.addBindValue(tables);
    if (!list.exec())
        return sqlError(list.lastError());
    while (list.next()) {
        // The server's own rendering of the name, quoted where it must be.
        const QString name = list.value(0).toString();
        const bool sequence = list.value(1).toBool();
        const QString kind = sequence ? QStringLiteral("SEQUENCE") : QStringLiteral("TABLE");
        if (Status s = run(q, QStringLiteral("REVOKE ALL ON %1 %2 FROM %3").arg(kind, name, everyone)); !s)
            return s;
        if (!sequence)
            if (Status s =
                    run(q, QStringLiteral("GRANT SELECT ON TABLE %1 TO %2").arg(name, quoteIdentifier(roles.read)));
                !s)
                return s;
    }
    if (!list.exec(QStringLiteral("SELECT p.oid::regprocedure::text, p.proname FROM pg_catalog.pg_proc p "
                                  "WHERE p.pronamespace = to_regnamespace(current_schema()) "
                                  "AND p.proname LIKE 'tvq52\\_%' ORDER BY 1")))
        return sqlError(list.lastError());
    while (list.next()) {
        const QString function = list.value(0).toString();
        if (Status s = run(q, QStringLiteral("REVOKE ALL ON FUNCTION %1 FROM %2").arg(function, everyone)); !s)
            return s;
        if (const auto level = callerOf(list.value(1).toString()))
            if (Status s = run(q,
                               QStringLiteral("GRANT EXECUTE ON FUNCTION %1 TO %2")
                                   .arg(function, quoteIdentifier(roles.of(*level))));
                !s)
                return s;
    }
    return {};
}

Status ServerRoles::setup()
{
    const Result<ServerRoleNames> found = names();
    if (!found)
        return found.status();
    const ServerRoleNames& roles = *found;
    if (roles.collect.toUtf8().size() > kMaxRoleName)
        return ownWords(QStringLiteral("El nombre de la base de datos es demasiado largo para nombrar sus roles "
                                       "(%1 tendría más de %2 bytes)"),
                        {roles.collect, QString::number(kMaxRoleName)});
    QSqlQuery q(db_);
    if (!q.exec(QStringLiteral("SELECT current_user, rolsuper, rolcreaterole, current_schema() "
                               "FROM pg_catalog.pg_roles WHERE rolname = current_user"))
        || !q.next())
        return sqlError(q.lastError());
    const QString login = q.value(0).toString();
    const bool superuser = q.value(1).toBool();
    const QString schema = q.value(3).toString();
    if (!superuser && !q.value(2).toBool())
        return ownWords(QStringLiteral("Para preparar los roles hace falta un usuario del servidor con CREATEROLE o "
                                       "superusuario; %1 no lo es. No se ha cambiado nada."),
                        {login});
    q.finish();
    if (!db_.transaction())
        return sqlError(db_.lastError());
    // Role statements are transactional: a failure undoes them all, the
    // setup login's passing membership of the owner included.
    const auto fail = [&](const Error& error) -> Status {
        db_.rollback();
        return error;
    };
    QSqlQuery exists(db_);
    exists.prepare(QStringLiteral("SELECT 1 FROM pg_catalog.pg_roles WHERE rolname = ?"));
    for (const QString* role : {&roles.owner, &roles.read, &roles.collect, &roles.admin}) {
        exists.addBindValue(*role);
        if (!exists.exec())
            return fail(sqlError(exists.lastError()));
        if (!exists.next())
            if (Status s = run(q, QStringLiteral("CREATE ROLE %1 NOLOGIN").arg(quoteIdentifier(*role))); !s)
                return fail(s.error());
    }
    const QString owner = quoteIdentifier(roles.owner);
    QStringList statements{
        QStringLiteral("GRANT %1 TO %2").arg(quoteIdentifier(roles.read), quoteIdentifier(roles.collect)),
        QStringLiteral("GRANT %1 TO %2").arg(quoteIdentifier(roles.collect), quoteIdentifier(roles.admin)),
    };
    for (Right level : kLevels)
        statements << QStringLiteral("GRANT %1 TO %2 WITH ADMIN OPTION").arg(quoteIdentifier(roles.of(level)), owner);
    // A CREATEROLE login moves ownership only as a member of the new owner;
    // it leaves again before the end.
    exists.prepare(QStringLiteral("SELECT pg_has_role(current_user, ?, 'MEMBER')"));
    exists.addBindValue(roles.owner);
    if (!exists.exec() || !exists.next())
        return fail(sqlError(exists.lastError()));
    const bool joins = !exists.value(0).toBool();
    if (joins)
        statements << QStringLiteral("GRANT %1 TO CURRENT_USER").arg(owner);
    // The schema's rights are granted only when missing: whoever may set up
    // the roles need not be able to grant them again.
    exists.prepare(
        QStringLiteral("SELECT has_schema_privilege(?, current_schema(), 'CREATE'), "
                       "has_schema_privilege(?, current_schema(), 'USAGE')"));
    exists.addBindValue(roles.owner);
    exists.addBindValue(roles.read);
    if (!exists.exec() || !exists.next())
        return fail(sqlError(exists.lastError()));
    if (!exists.value(0).toBool())
        statements << QStringLiteral("GRANT USAGE, CREATE ON SCHEMA %1 TO %2").arg(quoteIdentifier(schema), owner);
    if (!exists.value(1).toBool())
        statements << QStringLiteral("GRANT USAGE ON SCHEMA %1 TO %2")
                          .arg(quoteIdentifier(schema), quoteIdentifier(roles.read));
    for (const QString& statement : statements)
        if (Status s = run(q, statement); !s)
            return fail(s.error());
    if (Status laid = database_.layOutSchemaInTransaction(); !laid)
        return fail(laid.error());
    for (const QString& function : managementFunctions(schema))
        if (Status s = run(q, function); !s)
            return fail(s.error());
    // Every table and function of ours goes to the owner; the sequences
    // that number the rows go with their tables.
    QSqlQuery list(db_);
    list.prepare(QStringLiteral(
        "SELECT 'TABLE ' || c.oid::regclass::text FROM pg_catalog.pg_class c "
        "WHERE c.relnamespace = to_regnamespace(current_schema()) AND c.relkind IN ('r', 'p', 'v') "
        "AND c.relname = ANY (string_to_array(?, '\n')) UNION ALL "
        "SELECT 'FUNCTION ' || p.oid::regprocedure::text FROM pg_catalog.pg_proc p "
        "WHERE p.pronamespace = to_regnamespace(current_schema()) AND p.proname LIKE 'tvq52\\_%' ORDER BY 1"));
    list.addBindValue(serverTableNames().join(QLatin1Char('\n')));
    if (!list.exec())
        return fail(sqlError(list.lastError()));
    while (list.next())
        if (Status s = run(q, QStringLiteral("ALTER %1 OWNER TO %2").arg(list.value(0).toString(), owner)); !s)
            return fail(s.error());
    if (Status granted = applyGrants(roles); !granted)
        return fail(granted.error());
    // What the owner makes later follows the same rules.
    statements = {
        QStringLiteral("ALTER DEFAULT PRIVILEGES FOR ROLE %1 REVOKE EXECUTE ON FUNCTIONS FROM PUBLIC").arg(owner),
        QStringLiteral("ALTER DEFAULT PRIVILEGES FOR ROLE %1 IN SCHEMA %2 GRANT SELECT ON TABLES TO %3")
            .arg(owner, quoteIdentifier(schema), quoteIdentifier(roles.read))};
    if (joins)
        statements << QStringLiteral("REVOKE %1 FROM CURRENT_USER").arg(owner);
    for (const QString& statement : statements)
        if (Status s = run(q, statement); !s)
            return fail(s.error());
    if (!db_.commit())
        return fail(sqlError(db_.lastError()));
    return {};
}

Status ServerRoles::checkLogin(const QString& login) const
{
    const Result<ServerRoleNames> roles = names();
    if (!roles)
        return roles.status();
    QSqlQuery q(db_);
    q.prepare(QStringLiteral("SELECT rolcanlogin AND NOT rolsuper FROM pg_catalog.pg_roles WHERE rolname = ?"));
    q.addBindValue(login);
    if (!q.exec())
        return sqlError(q.lastError());
    if (!q.next())
        return ownWords(QStringLiteral("No hay ningún usuario %1 en el servidor"), {login});
    if (!q.value(0).toBool() || login == roles->read || login == roles->collect || login == roles->admin
        || login == roles->owner)
        return ownWords(QStringLiteral("A %1 no se le da un nivel: no es un usuario que se conecte, es un "
                                       "superusuario o es uno de los roles de la base de datos"),
                        {login});
    return {};
}

Status ServerRoles::grant(const QString& login, Right level)
{
    if (Status fit = checkLogin(login); !fit)
        return fit;
    QSqlQuery q(db_);
    q.prepare(QStringLiteral("SELECT tvq52_admin_grant(?, ?)"));
    q.addBindValue(login);
    q.addBindValue(rightWord(level));
    if (!q.exec())
        return sqlError(q.lastError());
    return {};
}

Status ServerRoles::revoke(const QString& login)
{
    if (Status fit = checkLogin(login); !fit)
        return fit;
    QSqlQuery q(db_);
    q.prepare(QStringLiteral("SELECT tvq52_admin_revoke(?)"));
    q.addBindValue(login);
    if (!q.exec())
        return sqlError(q.lastError());
    return {};
}

Result<QList<RoleMember>> ServerRoles::list() const
{
    const Result<ServerRoleNames> roles = names();
    if (!roles)
        return roles.error();
    QSqlQuery q(db_);
    q.prepare(
        QStringLiteral("SELECT u.rolname, max(CASE g.rolname WHEN ? THEN 2 WHEN ? THEN 1 ELSE 0 END) "
                       "FROM pg_catalog.pg_auth_members m JOIN pg_catalog.pg_roles g ON g.oid = m.roleid "
                       "JOIN pg_catalog.pg_roles u ON u.oid = m.member "
                       "WHERE g.rolname IN (?, ?, ?) AND u.rolcanlogin GROUP BY u.rolname ORDER BY 1"));
    for (const QString& name : {roles->admin, roles->collect, roles->read, roles->collect, roles->admin})
        q.addBindValue(name);
    if (!q.exec())
        return sqlError(q.lastError());
    QList<RoleMember> members;
    while (q.next())
        members.append({q.value(0).toString(), kLevels[q.value(1).toInt()]});
    return members;
}

} // namespace tvq52
