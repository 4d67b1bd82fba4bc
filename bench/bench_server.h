#pragma once

#include "core/own_words.h"
#include "db/database.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>
#include <algorithm>
#include <cstdio>
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

// What the journal costs a bulk path that stored `rows` rows into `ours`
// in `seconds`: the bytes of its lines (table, indexes and all) per row
// stored, and the share of the time that the server takes to store those
// lines alone, measured by psql's \copy of them into `other`, a database of
// the program's tables whose journal is empty.
inline bool printJournalShare(Database& ours, const DatabaseTarget& other, qint64 rows, double seconds,
                              const QString& linesFile)
{
    QSqlQuery q(ours.connection());
    if (!q.exec(QStringLiteral("SELECT pg_total_relation_size('\"DiarioRegistros\"')")) || !q.next())
        return false;
    const double bytes = q.value(0).toDouble();
    const QString columns =
        QStringLiteral("\"LEntrada\", \"TTabla\", \"TClave\", \"TClaveFin\", \"THuella\", \"BRegistros\"");
    const auto psql = [](const DatabaseTarget& t, const QString& command, double* took) {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        QElapsedTimer timer;
        timer.start();
        p.start(QStringLiteral("psql"), {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"),
                                         QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-d"), t.uri(),
                                         QStringLiteral("-c"), command});
        const bool ok = p.waitForFinished(-1) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        *took = double(timer.nsecsElapsed()) / 1e9;
        if (!ok)
            std::printf("psql: %s\n", p.readAll().constData());
        return ok;
    };
    double exported = 0, stored = 0;
    if (!psql(ours.target(),
              QStringLiteral("\\copy (SELECT %1 FROM \"DiarioRegistros\" ORDER BY rowid) TO '%2'").arg(columns, linesFile),
              &exported)
        || !psql(other, QStringLiteral("\\copy \"DiarioRegistros\" (%1) FROM '%2'").arg(columns, linesFile), &stored))
        return false;
    std::printf("  journal: %.1f%% of the time (its lines stored alone: %.2f s), %.1f bytes per stored row\n",
                100.0 * stored / std::max(0.001, seconds), stored, bytes / double(std::max<qint64>(1, rows)));
    std::fflush(stdout);
    return true;
}

} // namespace tvq52::bench
