#pragma once

#include "core/own_words.h"
#include "db/database.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>
#include <memory>

namespace tvq52::bench {

// Whether PostgreSQL's server programs are installed, for a bench to measure on it.
inline bool serverProgramsThere()
{
    return !QStandardPaths::findExecutable(QStringLiteral("psql")).isEmpty()
        && !QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty();
}

// A private PostgreSQL server for one bench run (tools/pg-test-server.sh:
// unix socket, fsync off), stopped again when the object goes.
class PrivateServer {
public:
    PrivateServer()
    {
        script_ = QStringLiteral(TVQ52_SOURCE_DIR "/tools/pg-test-server.sh");
        if (QProcess::execute(QStringLiteral("bash"), {script_, QStringLiteral("start"), state()}) != 0)
            qFatal("the private PostgreSQL server did not start");
        QFile f(state() + QStringLiteral("/uri"));
        if (!f.open(QIODevice::ReadOnly))
            qFatal("no URI from the private PostgreSQL server");
        const auto target = DatabaseTarget::fromUri(QString::fromUtf8(f.readAll()).trimmed());
        if (!target)
            qFatal("%s", qPrintable(untranslatedText(target.error())));
        admin_ = *target;
    }
    ~PrivateServer() { QProcess::execute(QStringLiteral("bash"), {script_, QStringLiteral("stop"), state()}); }
    PrivateServer(const PrivateServer&) = delete;
    PrivateServer& operator=(const PrivateServer&) = delete;

    // A new database with the program's tables.
    std::unique_ptr<Database> freshDatabase(const QString& name)
    {
        {
            auto admin = Database::openServer(admin_, {});
            if (!admin)
                qFatal("%s", qPrintable(untranslatedText(admin.error())));
            QSqlQuery q((*admin)->connection());
            if (!q.exec(QStringLiteral("CREATE DATABASE \"%1\" TEMPLATE template0 ENCODING 'UTF8'").arg(name)))
                qFatal("%s", qPrintable(q.lastError().text()));
        }
        DatabaseTarget target = admin_;
        target.database = name;
        auto db = Database::openServer(target, {});
        if (!db)
            qFatal("%s", qPrintable(untranslatedText(db.error())));
        if (const Status laid = (*db)->layOutSchema(); !laid)
            qFatal("%s", qPrintable(untranslatedText(laid.error())));
        return std::move(db).value();
    }

    // Where the server listens, as an administrator.
    const DatabaseTarget& admin() const { return admin_; }

private:
    QString state() const { return dir_.filePath(QStringLiteral("pg")); }
    QTemporaryDir dir_;
    QString script_;
    DatabaseTarget admin_;
};

} // namespace tvq52::bench
