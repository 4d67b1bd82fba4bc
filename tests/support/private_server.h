#pragma once

#include "db/database.h"
#include "support/result_checks.h"

#include <QCoreApplication>
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
        if (!script(QStringLiteral("start")) || !uri.open(QIODevice::ReadOnly)) {
            ADD_FAILURE() << "no private server";
            return;
        }
        const Result<DatabaseTarget> admin = DatabaseTarget::fromUri(QString::fromUtf8(uri.readAll()).trimmed());
        if (!admin) {
            ADD_FAILURE() << "no private server " << untranslatedText(admin.error()).toStdString();
            return;
        }
        if (auto connection = take(Database::openServer(*admin, {}))) {
            EXPECT_TRUE(QSqlQuery(connection->connection())
                            .exec(QStringLiteral("CREATE DATABASE office TEMPLATE template0 ENCODING 'UTF8'")));
        }
        target_ = *admin;
        target_.database = QStringLiteral("office");
        if (auto db = open()) {
            EXPECT_TRUE(succeeded(db->layOutSchema()));
        }
    }
    ~PrivateServer() { script(QStringLiteral("stop")); }
    PrivateServer(const PrivateServer&) = delete;
    PrivateServer& operator=(const PrivateServer&) = delete;

    const DatabaseTarget& target() const { return target_; }
    std::unique_ptr<Database> open() const { return take(Database::openServer(target_, {})); }
    // Stopped as an administrator would (connections ended, data kept), and started again.
    bool halt() const { return script(QStringLiteral("halt")); }
    bool resume() const { return script(QStringLiteral("resume")); }

private:
    bool script(const QString& mode) const
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        QStringList arguments = {QStringLiteral(TVQ52_SOURCE_DIR "/tools/pg-test-server.sh"), mode,
                                 state_.filePath(QStringLiteral("state"))};
        // A test killed midway takes its server along.
        if (mode == QLatin1String("start"))
            arguments << QString::number(QCoreApplication::applicationPid());
        p.start(QStringLiteral("bash"), arguments);
        const bool ok = p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        EXPECT_TRUE(ok) << mode.toStdString() << ": " << p.readAll().toStdString();
        return ok;
    }

    QTemporaryDir state_;
    DatabaseTarget target_;
};

} // namespace tvq52::test
