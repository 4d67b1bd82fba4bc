#pragma once

#include "db/database.h"

#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace tvq52::test {

// A PostgreSQL server of one test's own (tools/pg-test-server.sh in another
// state folder), which the test may stop and start again, holding one
// laid-out database "office". Removed when the object goes.
class PrivateServer {
public:
    PrivateServer()
    {
        QFile uri(state_.filePath(QStringLiteral("state/uri")));
        QString error;
        std::optional<DatabaseTarget> admin;
        if (script(QStringLiteral("start")) && uri.open(QIODevice::ReadOnly))
            admin = DatabaseTarget::fromUri(QString::fromUtf8(uri.readAll()).trimmed(), &error);
        if (!admin) {
            ADD_FAILURE() << "no private server " << error.toStdString();
            return;
        }
        if (auto connection = Database::openServer(*admin, {}, &error)) {
            EXPECT_TRUE(QSqlQuery(connection->connection())
                            .exec(QStringLiteral("CREATE DATABASE office TEMPLATE template0 ENCODING 'UTF8'")));
        }
        target_ = *admin;
        target_.database = QStringLiteral("office");
        if (auto db = open()) {
            EXPECT_TRUE(db->layOutSchema(&error)) << error.toStdString();
        }
    }
    ~PrivateServer() { script(QStringLiteral("stop")); }
    PrivateServer(const PrivateServer&) = delete;
    PrivateServer& operator=(const PrivateServer&) = delete;

    const DatabaseTarget& target() const { return target_; }
    std::unique_ptr<Database> open() const
    {
        QString error;
        auto db = Database::openServer(target_, {}, &error);
        EXPECT_TRUE(db) << error.toStdString();
        return db;
    }
    // Stopped as an administrator would (connections ended, data kept), and started again.
    bool halt() const { return script(QStringLiteral("halt")); }
    bool resume() const { return script(QStringLiteral("resume")); }

private:
    bool script(const QString& mode) const
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral("bash"),
                {QStringLiteral(TVQ52_SOURCE_DIR "/tools/pg-test-server.sh"), mode,
                 state_.filePath(QStringLiteral("state"))});
        const bool ok = p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        EXPECT_TRUE(ok) << mode.toStdString() << ": " << p.readAll().toStdString();
        return ok;
    }

    QTemporaryDir state_;
    DatabaseTarget target_;
};

} // namespace tvq52::test
