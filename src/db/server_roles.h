#pragma once

#include "core/error.h"
#include "db/server_rights.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <optional>

// The office roles of a server database: three group roles that logins are
// given (read, collect, admin) and the NOLOGIN role that owns every table
// and function of ours. PostgreSQL roles belong to the whole server, so
// their names carry the database's.
namespace tvq52 {

class Database;

// The level a word of `roles grant` names ("read", "collect", "admin");
// nothing for any other word.
std::optional<Right> roleLevelFromName(const QString& name);

// The four roles of one database, unquoted: tvq52_<database>_read,
// _collect, _admin and _owner.
struct ServerRoleNames {
    QString read;
    QString collect;
    QString admin;
    QString owner;
    static ServerRoleNames forDatabase(const QString& database);
    const QString& of(Right level) const;
};

// One login and the highest level it was given.
struct RoleMember {
    QString login;
    Right level = Right::Read;
};

// The connection's database: its roles and their management. Every name
// is quoted where it enters a statement.
class ServerRoles {
public:
    explicit ServerRoles(Database& database);

    // The names of the connection's database (current_database()).
    Result<ServerRoleNames> names() const;
    // Whether the owner role exists and owns "Diario".
    Result<bool> present() const;
    // Makes the roles, lays the schema out, gives every table and function
    // of ours to the owner and the rights to the groups, in one transaction:
    // a failure leaves the database and the roles as they were. Run again,
    // it changes nothing. Needs a superuser or a login with CREATEROLE.
    Status setup();
    // Gives a login one level (the others taken back), or takes all back;
    // through the server's functions, so that an admin needs no CREATEROLE.
    Status grant(const QString& login, Right level);
    Status revoke(const QString& login);
    // The logins given a level, by name.
    Result<QList<RoleMember>> list() const;

    // Takes the rights of our tables, sequences and functions back from
    // everyone and gives each group its own; the caller holds a transaction
    // on a database whose objects the owner role owns.
    Status applyGrants(const ServerRoleNames& roles);

private:
    // Says in the user's words what the server functions refuse.
    Status checkLogin(const QString& login) const;
    Database& database_;
    QSqlDatabase db_;
};

} // namespace tvq52
