#pragma once

#include "db/server_rights.h"
#include "support/result_checks.h"
#include "support/test_backend.h"

#include <QSqlError>
#include <QSqlQuery>
#include <gtest/gtest.h>

namespace tvq52::test {

// The office's roles on one test database, as far as what a login may do
// goes: the three group roles (collect a member of read, admin of collect),
// the owner role, and one login per level plus one with none. The roles
// belong to the whole server: they are dropped again when the object goes.
class OfficeRoles {
public:
    explicit OfficeRoles(const ServerTestDatabase& server) : server_(server), admin_(server.open())
    {
        const QString db = server.target().database;
        exec(QStringLiteral("CREATE ROLE %1 NOLOGIN").arg(role(Right::None)));
        exec(QStringLiteral("CREATE ROLE %1 NOLOGIN").arg(role(Right::Read)));
        exec(QStringLiteral("CREATE ROLE %1 NOLOGIN IN ROLE %2").arg(role(Right::Collect), role(Right::Read)));
        exec(QStringLiteral("CREATE ROLE %1 NOLOGIN IN ROLE %2").arg(role(Right::Admin), role(Right::Collect)));
        for (const Right level : kLevels)
            exec(level == Right::None
                     ? QStringLiteral("CREATE ROLE %1 LOGIN").arg(login(level))
                     : QStringLiteral("CREATE ROLE %1 LOGIN IN ROLE %2").arg(login(level), role(level)));
    }
    ~OfficeRoles()
    {
        exec(QStringLiteral("ALTER TABLE \"Diario\" OWNER TO CURRENT_USER"));
        exec(QStringLiteral("REVOKE ALL ON ALL TABLES IN SCHEMA public FROM %1").arg(role(Right::Read)));
        for (const Right level : kLevels)
            exec(QStringLiteral("DROP ROLE %1").arg(login(level)));
        for (const Right level : {Right::Admin, Right::Collect, Right::Read, Right::None})
            exec(QStringLiteral("DROP ROLE %1").arg(role(level)));
    }
    OfficeRoles(const OfficeRoles&) = delete;
    OfficeRoles& operator=(const OfficeRoles&) = delete;

    static constexpr Right kLevels[] = {Right::None, Right::Read, Right::Collect, Right::Admin};

    // The database has roles from here on: its owner role takes "Diario".
    void handOver()
    {
        exec(QStringLiteral("ALTER TABLE \"Diario\" OWNER TO %1").arg(role(Right::None)));
        exec(QStringLiteral("GRANT SELECT ON ALL TABLES IN SCHEMA public TO %1").arg(role(Right::Read)));
    }
    void revoke(Right level) { exec(QStringLiteral("REVOKE %1 FROM %2").arg(role(level), login(level))); }
    // The database as the login of `level` reaches it.
    DatabaseTarget as(Right level) const
    {
        DatabaseTarget t = server_.target();
        t.user = login(level);
        return t;
    }

private:
    QString role(Right level) const { return rightsRoleName(server_.target().database, level); }
    QString login(Right level) const
    {
        return QStringLiteral("%1_login_%2").arg(server_.target().database, level == Right::None ? QStringLiteral("none") : rightWord(level));
    }
    void exec(const QString& sql)
    {
        QSqlQuery q(admin_->connection());
        EXPECT_TRUE(q.exec(sql)) << sql.toStdString() << ": " << q.lastError().text().toStdString();
    }

    const ServerTestDatabase& server_;
    std::unique_ptr<Database> admin_;
};

} // namespace tvq52::test
