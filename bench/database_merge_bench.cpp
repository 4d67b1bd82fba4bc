// Wall time and peak resident memory of merging a database of a million
// intervals into an empty one, and of merging it a second time (every row
// already present), each against a peer measured in the same run: on SQLite
// ATTACH and INSERT OR IGNORE ... SELECT of the same rows straight through
// the sqlite3 C API, on PostgreSQL (when its server programs are installed,
// or always with --server) psql's \copy of the same rows into a staging
// table and INSERT ... ON CONFLICT DO NOTHING into the keyed table of a
// private server over its unix socket, with the journal's share of the time
// and its bytes per row. --roles merges there as a login of the collect
// group, the office roles set up. Each timed run on the server starts
// after a checkpoint. A full run times each side three times in turn and
// compares their shortest times.
#include "bench_database.h"
#include "bench_server.h"
#include "bench_support.h"
#include "db/database.h"
#include "db/schema.h"
#include "evidence/journaled_merge.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdio>
#include <sqlite3.h>
#include <sys/resource.h>

using namespace tvq52;

namespace {

void fill(Database& db, int rows)
{
    // One interval every two minutes from 2018 on, every column filled.
    QSqlQuery q(db.connection());
    const QString numbers =
        QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < %1) ").arg(rows);
    const bool ok =
        q.exec(numbers
               + QStringLiteral(
                   "INSERT INTO Intervalos SELECT 52001, date('2018-01-01', '+' || (i / 720) || ' days'), "
                   "date('2018-01-01', '+' || (i / 720) || ' days'), 2, 87.1, 45.2, 'Leq125ms', '0', 80, 40, 93.4, "
                   "'2018-01-01', '10:00', 65.5, '2018-01-01', '10:01', 101.2, 95, 3, 90.0, 88.0, 85.0, 80.0, "
                   "70.0, 0, 1, 0, 0, 0, 0, 0, 0, 0, "
                   "printf('%02d:%02d', (i % 720) * 2 / 60, (i % 720) * 2 % 60), "
                   "printf('%02d:%02d', ((i % 720) * 2 + 2) / 60 % 24, ((i % 720) * 2 + 2) % 60) FROM n"));
    if (!ok)
        qFatal("%s", qPrintable(q.lastError().text()));
}

QString columnList()
{
    QStringList names;
    for (const QString& name : schemaTable(QStringLiteral("Intervalos"))->columnNames())
        names << quoteIdentifier(name);
    return names.join(QLatin1String(", "));
}

// The peer on SQLite: the program's empty database and the same rows, no checks, no journal.
double attachAndInsert(const QString& targetPath, const QString& sourcePath)
{
    bench::freshDatabase(targetPath);
    sqlite3* db = nullptr;
    QElapsedTimer timer;
    timer.start();
    const double cpu = bench::cpuSeconds();
    bool ok = sqlite3_open_v2(targetPath.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK;
    const QByteArray sql = QStringLiteral(
                               "ATTACH DATABASE '%1' AS src; BEGIN; INSERT OR IGNORE INTO main.Intervalos "
                               "(%2) SELECT %2 FROM src.Intervalos; COMMIT; DETACH DATABASE src;")
                               .arg(sourcePath, columnList())
                               .toUtf8();
    ok = ok && sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    std::printf("SQLite: ATTACH+INSERT OR IGNORE: %.2f s, %.2f s of processor time\n", seconds,
                bench::cpuSeconds() - cpu);
    if (!ok)
        std::printf("SQLite peer: %s\n", db ? sqlite3_errmsg(db) : "cannot open");
    sqlite3_close(db);
    return ok ? seconds : -1;
}

// The source's rows in COPY's text form, for psql.
bool exportRows(const QString& sourcePath, const QString& file)
{
    sqlite3* db = nullptr;
    sqlite3_stmt* rows = nullptr;
    QFile out(file);
    bool ok = out.open(QIODevice::WriteOnly)
        && sqlite3_open_v2(sourcePath.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK
        && sqlite3_prepare_v2(db, QStringLiteral("SELECT %1 FROM Intervalos").arg(columnList()).toUtf8().constData(),
                              -1, &rows, nullptr)
            == SQLITE_OK;
    QByteArray line;
    while (ok && sqlite3_step(rows) == SQLITE_ROW) {
        line.clear();
        for (int c = 0; c < sqlite3_column_count(rows); ++c) {
            if (c > 0)
                line += '\t';
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(rows, c));
            line += text ? QByteArray(text) : QByteArray("\\N");
        }
        line += '\n';
        ok = out.write(line) == line.size();
    }
    sqlite3_finalize(rows);
    sqlite3_close(db);
    return ok;
}

// The peer on PostgreSQL: psql's \copy of the same rows into a staging
// table, then INSERT ... ON CONFLICT DO NOTHING into the keyed table of an
// empty database, in one transaction.
double psqlCopy(const DatabaseTarget& target, const QString& rowsFile, const bench::PrivateServer& server)
{
    server.checkpoint();
    const double serverCpu = server.cpuSeconds();
    QProcess psql;
    psql.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer timer;
    timer.start();
    const QString columns = columnList();
    psql.start(QStringLiteral("psql"),
               {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"),
                QStringLiteral("-1"), QStringLiteral("-d"), target.uri(), QStringLiteral("-c"),
                QStringLiteral("CREATE TEMP TABLE peer_stage ON COMMIT DROP AS SELECT %1 FROM \"Intervalos\" "
                               "WITH NO DATA")
                    .arg(columns),
                QStringLiteral("-c"), QStringLiteral("\\copy peer_stage FROM '%1'").arg(rowsFile),
                QStringLiteral("-c"),
                QStringLiteral("INSERT INTO \"Intervalos\" (%1) SELECT %1 FROM peer_stage ON CONFLICT DO NOTHING")
                    .arg(columns)});
    const bool ok = psql.waitForFinished(600000) && psql.exitStatus() == QProcess::NormalExit && psql.exitCode() == 0;
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (!ok)
        std::printf("psql peer: %s\n", psql.readAll().constData());
    else
        std::printf("psql peer: %.2f s, the server's processor time %.2f s\n", seconds,
                    server.cpuSeconds() - serverCpu);
    return ok ? seconds : -1;
}

struct Passes {
    double first = -1;
    double second = -1;
};

Passes mergeTwice(bench::Verdict& v, Database& target, const QString& source, int rows, const char* backend,
                  const bench::PrivateServer* server = nullptr)
{
    Passes times;
    const double before = bench::peakResidentMb();
    for (int pass = 0; pass < 2; ++pass) {
        if (server)
            server->checkpoint();
        QElapsedTimer timer;
        timer.start();
        const double cpu = bench::cpuSeconds();
        const double serverCpu = server ? server->cpuSeconds() : 0;
        const MergeResult r = mergeDatabase(target, source);
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        const double cpuUsed = bench::cpuSeconds() - cpu;
        if (server)
            std::printf("%s: the server's processor time %.2f s\n", backend, server->cpuSeconds() - serverCpu);
        qint64 present = 0;
        for (const MergeTableCount& t : r.tables)
            present += t.present;
        if (!r.complete() || r.added() != (pass == 0 ? rows : 0) || present != (pass == 0 ? 0 : rows)) {
            v.failed(QStringLiteral("%1 merge %2: %3").arg(QLatin1String(backend)).arg(pass + 1).arg(r.countsText()));
            return {};
        }
        std::printf(
            "%s: merge of %d intervals %s: %.2f s (%.2f s of this process's processor time), %lld added, "
            "peak resident %.0f MB (%.0f MB before)\n",
            backend, rows, pass == 0 ? "into an empty database" : "again (all present)", seconds, cpuUsed,
            static_cast<long long>(r.added()), bench::peakResidentMb(), before);
        (pass == 0 ? times.first : times.second) = seconds;
    }
    return times;
}

void judge(bench::Verdict& v, const char* backend, const char* peerName, double peer, const Passes& merge)
{
    if (peer <= 0 || merge.first <= 0)
        return;
    std::printf("%s, the shortest of each side's runs: merge %.2f s (again %.2f s), %s of the same rows %.2f s\n",
                backend, merge.first, merge.second, peerName, peer);
    v.atMost(QStringLiteral("%1: merge / %2").arg(QLatin1String(backend), QLatin1String(peerName)), merge.first / peer,
             1.5, "x");
    v.atMost(QStringLiteral("%1: second merge (all present) / first").arg(QLatin1String(backend)),
             merge.second / merge.first, 1.0, "x");
}

} // namespace

int main(int argc, char** argv)
{
    bench::Verdict v(argc, argv);
    QCoreApplication app(argc, argv);
    const int rows = v.rows(1000000, 20000);
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("other.db"));
    fill(*bench::freshDatabase(source), rows);

    // Each side in turn, a few times over in a full run: the machine's speed
    // drifts by more than the targets' margin between one run and the next.
    const int rounds = v.size(3, 1);
    {
        double peer = -1;
        Passes best;
        QString lastPath;
        double lastFirst = -1;
        for (int r = 0; r < rounds; ++r) {
            const QString peerPath = dir.filePath(QStringLiteral("peer-%1.db").arg(r));
            const double seconds = attachAndInsert(peerPath, source);
            if (seconds < 0) {
                v.failed(QStringLiteral("SQLite: ATTACH and INSERT OR IGNORE"));
                break;
            }
            peer = bench::shortest(peer, seconds);
            for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
                QFile::remove(peerPath + suffix);
            const QString path = dir.filePath(QStringLiteral("tvq52-%1.db").arg(r));
            Passes merged;
            {
                auto target = bench::freshDatabase(path);
                merged = mergeTwice(v, *target, source, rows, "SQLite");
            }
            if (merged.first <= 0)
                break;
            best.first = bench::shortest(best.first, merged.first);
            best.second = bench::shortest(best.second, merged.second);
            if (!lastPath.isEmpty())
                for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
                    QFile::remove(lastPath + suffix);
            lastPath = path;
            lastFirst = merged.first;
        }
        judge(v, "SQLite", "ATTACH+INSERT OR IGNORE", peer, best);
        // The journal's share of the time and its bytes per row, as on the server.
        if (lastFirst > 0 && !bench::printSqliteJournalShare(lastPath, "Intervalos", rows, lastFirst))
            v.failed(QStringLiteral("SQLite: the journal's figures"));
    }

    const bool required = QCoreApplication::arguments().contains(QStringLiteral("--server"));
    if (!required && !bench::serverProgramsThere()) {
        std::printf("PostgreSQL: left out, its server programs are not installed\n");
        return v.exitCode();
    }
    bench::PrivateServer server;
    const QString rowsFile = dir.filePath(QStringLiteral("rows.txt"));
    if (!exportRows(source, rowsFile))
        v.failed(QStringLiteral("PostgreSQL: the rows for psql"));
    double serverPeer = -1;
    Passes best;
    std::unique_ptr<Database> last;
    double lastFirst = -1;
    for (int r = 0; r < rounds; ++r) {
        const double seconds =
            psqlCopy(server.freshDatabase(QStringLiteral("bench_peer_%1").arg(r))->target(), rowsFile, server);
        if (seconds < 0) {
            v.failed(QStringLiteral("PostgreSQL: psql \\copy"));
            break;
        }
        serverPeer = bench::shortest(serverPeer, seconds);
        auto target = server.freshDatabase(QStringLiteral("bench_merge_%1").arg(r));
        const auto collector = server.asCollector(*target);
        const Passes merged = mergeTwice(v, collector ? *collector : *target, source, rows, "PostgreSQL", &server);
        if (merged.first <= 0)
            break;
        best.first = bench::shortest(best.first, merged.first);
        best.second = bench::shortest(best.second, merged.second);
        last = std::move(target);
        lastFirst = merged.first;
    }
    judge(v, "PostgreSQL", "psql \\copy+INSERT ON CONFLICT", serverPeer, best);
    if (last && lastFirst > 0 && !bench::printJournalShare(*last, rows, lastFirst))
        v.failed(QStringLiteral("PostgreSQL: the journal's figures"));
    return v.exitCode();
}
