#pragma once

#include "db/database.h"
#include "db/database_target.h"

#include <QDir>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace tvq52::test {

// A PostgreSQL server of one test's own, which it may stop and start again
// (tools/pg-test-server.sh in another state folder), holding one laid-out
// database. Stopped and removed when the object goes.
class PrivateServer {
public:
    PrivateServer() { start(); }
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
    void start()
    {
        if (!script(QStringLiteral("start")))
            return;
        QFile uri(state_.filePath(QStringLiteral("state/uri")));
        if (!uri.open(QIODevice::ReadOnly)) {
            ADD_FAILURE() << "no uri from the server script";
            return;
        }
        QString error;
        const auto admin = DatabaseTarget::fromUri(QString::fromUtf8(uri.readAll()).trimmed(), &error);
        if (!admin) {
            ADD_FAILURE() << error.toStdString();
            return;
        }
        {
            auto connection = Database::openServer(*admin, {}, &error);
            ASSERT_TRUE(connection) << error.toStdString();
            QSqlQuery q(connection->connection());
            ASSERT_TRUE(q.exec(QStringLiteral("CREATE DATABASE office TEMPLATE template0 ENCODING 'UTF8'")))
                << q.lastError().text().toStdString();
        }
        target_ = *admin;
        target_.database = QStringLiteral("office");
        auto db = open();
        ASSERT_TRUE(db);
        ASSERT_TRUE(db->layOutSchema(&error)) << error.toStdString();
    }
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
