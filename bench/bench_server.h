#pragma once

#include "core/own_words.h"
#include "db/database.h"
#include "db/server_roles.h"

#include <QCoreApplication>
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
#include <unistd.h>

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
        // Owned by this process: a bench killed midway takes its server along.
        if (QProcess::execute(QStringLiteral("bash"), {script_, QStringLiteral("start"), state(),
                                                       QString::number(QCoreApplication::applicationPid())})
            != 0)
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

    // `db` once more, written by a login of its collect group after its
    // roles are set up (with --roles, as an office's server is); else nothing.
    std::unique_ptr<Database> asCollector(Database& db)
    {
        if (!QCoreApplication::arguments().contains(QStringLiteral("--roles")))
            return nullptr;
        ServerRoles roles(db);
        DatabaseTarget login = db.target();
        login.user = login.database + QStringLiteral("_collector");
        QSqlQuery q(db.connection());
        if (const Status set = roles.setup(); !set)
            qFatal("%s", qPrintable(untranslatedText(set.error())));
        if (!q.exec(QStringLiteral("CREATE ROLE %1 LOGIN").arg(quoteIdentifier(login.user))))
            qFatal("%s", qPrintable(q.lastError().text()));
        if (const Status granted = roles.grant(login.user, Right::Collect); !granted)
            qFatal("%s", qPrintable(untranslatedText(granted.error())));
        auto collector = Database::openServer(login, {});
        if (!collector)
            qFatal("%s", qPrintable(untranslatedText(collector.error())));
        std::printf("PostgreSQL: written by %s, of the collect group\n", qPrintable(login.user));
        return std::move(collector).value();
    }

    // Writes out what the runs before left in the server's buffers and
    // starts a new stretch of its log: a checkpoint set off by one run's
    // writes would otherwise fall in the next run's time, ours or the peer's.
    void checkpoint() const
    {
        auto admin = Database::openServer(admin_, {});
        if (!admin)
            qFatal("%s", qPrintable(untranslatedText(admin.error())));
        QSqlQuery q((*admin)->connection());
        if (!q.exec(QStringLiteral("CHECKPOINT")))
            qFatal("%s", qPrintable(q.lastError().text()));
    }

    // Where the server listens, as an administrator.
    const DatabaseTarget& admin() const { return admin_; }

    // The processor time the server's processes took so far: the
    // postmaster's own and that of its children, ended or still running
    // (a session's backend). On a loaded machine more telling than wall time.
    double cpuSeconds() const
    {
        QFile dirFile(state() + QStringLiteral("/dir"));
        if (!dirFile.open(QIODevice::ReadOnly))
            return 0;
        QFile pidFile(QString::fromUtf8(dirFile.readAll()).trimmed() + QStringLiteral("/data/postmaster.pid"));
        if (!pidFile.open(QIODevice::ReadOnly))
            return 0;
        const QByteArray postmaster = pidFile.readLine().trimmed();
        // Fields after the command's name: state, parent, ..., then from the
        // 12th utime, stime, cutime, cstime, in clock ticks.
        const auto fields = [](const QString& pid) {
            QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
            const QByteArray stat = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
            return stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        };
        const double tick = double(sysconf(_SC_CLK_TCK));
        double total = 0;
        const QList<QByteArray> own = fields(QString::fromLatin1(postmaster));
        for (int i = 11; i < 15 && i < own.size(); ++i)
            total += own[i].toDouble() / tick;
        for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            const QList<QByteArray> child = pid.toInt() > 0 ? fields(pid) : QList<QByteArray>();
            if (child.size() > 12 && child[1] == postmaster)
                total += (child[11].toDouble() + child[12].toDouble()) / tick;
        }
        return total;
    }

private:
    QString state() const { return dir_.filePath(QStringLiteral("pg")); }
    QTemporaryDir dir_;
    QString script_;
    DatabaseTarget admin_;
};

// What the journal costs a bulk path that stored `rows` rows into `db` in
// `seconds`: the bytes of its lines (table, indexes and all) per row
// stored, and the share of the time that the server takes to store those
// lines again (inserted from themselves in a transaction rolled back).
inline bool printJournalShare(Database& db, qint64 rows, double seconds)
{
    QSqlQuery q(db.connection());
    if (!q.exec(QStringLiteral("SELECT pg_total_relation_size('\"DiarioRegistros\"')")) || !q.next())
        return false;
    const double bytes = q.value(0).toDouble();
    const QString columns = QStringLiteral("\"TTabla\", \"TClave\", \"TClaveFin\", \"THuella\", \"BRegistros\"");
    QElapsedTimer timer;
    // Lines go only into an open entry: one is opened for them and rolled back.
    if (!q.exec(QStringLiteral("BEGIN"))
        || !q.exec(QStringLiteral("SELECT entry FROM tvq52_journal_open('merge', NULL, '', 3, NULL)")) || !q.next())
        return false;
    const qint64 entry = q.value(0).toLongLong();
    timer.start();
    const bool stored =
        q.exec(QStringLiteral("INSERT INTO \"DiarioRegistros\" (\"LEntrada\", %1) SELECT %2, %1 FROM \"DiarioRegistros\"")
                   .arg(columns)
                   .arg(entry));
    const double took = double(timer.nsecsElapsed()) / 1e9;
    q.exec(QStringLiteral("ROLLBACK"));
    if (!stored)
        return false;
    std::printf("  journal: %.1f%% of the time (its lines stored again: %.2f s), %.1f bytes per stored row\n",
                100.0 * took / std::max(0.001, seconds), took, bytes / double(std::max<qint64>(1, rows)));
    std::fflush(stdout);
    return true;
}

} // namespace tvq52::bench
