#include "db/server_rights.h"

#include "db/database.h"
#include "db/database_failure.h"

#include <QSqlError>
#include <QSqlQuery>
#include <array>

namespace tvq52 {

namespace {

struct Need {
    Operation op;
    Right right;
};

// Reading anything is read; storing what a unit or a file brings is collect;
// what changes a unit, deletes its records or the office's settings, or
// hands out logins is admin.
constexpr std::array<Need, 15> kNeeds{{
    {Operation::Browse, Right::Read},
    {Operation::Report, Right::Read},
    {Operation::Verify, Right::Read},
    {Operation::VerifyReport, Right::Read},
    {Operation::Export, Right::Read},
    {Operation::Journal, Right::Read},
    {Operation::Download, Right::Collect},
    {Operation::Collect, Right::Collect},
    {Operation::Import, Right::Collect},
    {Operation::Merge, Right::Collect},
    {Operation::ProgramReceive, Right::Collect},
    {Operation::ProgramTransmit, Right::Admin},
    {Operation::UnitDeletion, Right::Admin},
    {Operation::SharedSettings, Right::Admin},
    {Operation::ManageLogins, Right::Admin},
}};

// The highest level whose role the session's login holds (collect is a
// member of read and admin of collect, so a role held through another
// counts), whether the database has roles at all (its owner role owns
// "Diario"), and whether the login is a superuser.
constexpr const char* kAskRight =
    "WITH levels(level, rolname) AS (VALUES (1, ?::text), (2, ?::text), (3, ?::text))"
    " SELECT (SELECT rolsuper FROM pg_roles WHERE rolname = session_user),"
    " EXISTS (SELECT 1 FROM pg_class c JOIN pg_roles o ON o.oid = c.relowner"
    "         WHERE c.oid = to_regclass(quote_ident('Diario')) AND o.rolname = ?::text),"
    " (SELECT max(l.level) FROM levels l JOIN pg_roles r ON r.rolname = l.rolname"
    "  WHERE pg_has_role(session_user, r.oid, 'USAGE'))";

} // namespace

Right neededRight(Operation op)
{
    for (const Need& n : kNeeds)
        if (n.op == op)
            return n.right;
    return Right::Admin;
}

bool allows(Right held, Operation op)
{
    return held >= neededRight(op);
}

QString rightWord(Right right)
{
    switch (right) {
    case Right::None:
        break;
    case Right::Read:
        return QStringLiteral("read");
    case Right::Collect:
        return QStringLiteral("collect");
    case Right::Admin:
        return QStringLiteral("admin");
    }
    return {};
}

QString rightsRoleName(const QString& database, Right right)
{
    const QString suffix = right == Right::None ? QStringLiteral("owner") : rightWord(right);
    return QStringLiteral("tvq52_%1_%2").arg(database, suffix);
}

Result<Right> askRight(Database& database)
{
    if (!database.isServer())
        return Right::Admin;
    QSqlQuery q(database.connection());
    q.prepare(QString::fromLatin1(kAskRight));
    const QString name = database.target().database;
    for (const Right right : {Right::Read, Right::Collect, Right::Admin, Right::None})
        q.addBindValue(rightsRoleName(name, right));
    if (!q.exec() || !q.next()) {
        database.noteFailure(q.lastError());
        return databaseError(databaseFailure(q.lastError(), true));
    }
    if (q.value(0).toBool() || !q.value(1).toBool())
        return Right::Admin;
    return q.value(2).isNull() ? Right::None : Right(q.value(2).toInt());
}

std::optional<Error> refusal(Right held, Operation op)
{
    if (allows(held, op))
        return std::nullopt;
    return toldFailure({DatabaseFailure::Kind::PermissionDenied, rightWord(neededRight(op))},
                       FailureWording::Opening);
}

std::optional<Error> refusal(const Database* database, Operation op)
{
    return database ? refusal(database->right(), op) : std::nullopt;
}

Status checkRight(Database& database, Operation op)
{
    if (!database.isServer())
        return {};
    const Result<Right> held = askRight(database);
    if (!held)
        return held.error();
    database.noteRight(*held);
    if (const auto refused = refusal(*held, op))
        return *refused;
    return {};
}

} // namespace tvq52
