// Wall time and peak resident memory of merging a database of a million
// intervals into an empty one, and of merging it a second time (every row
// already present). With --server the same again into a private PostgreSQL
// server over its unix socket.
#include "bench_database.h"
#include "bench_server.h"
#include "db/database.h"
#include "db/database_merge.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>

using namespace tvq52;

namespace {

constexpr int kRows = 1000000;

long peakResidentMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

std::unique_ptr<Database> create(const QString& path)
{
    return bench::freshDatabase(path);
}

void fill(Database& db)
{
    // One interval every two minutes from 2018 on, every column filled.
    QSqlQuery q(db.connection());
    const QString rows =
        QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < %1) ").arg(kRows);
    const bool ok =
        q.exec(rows
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

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    {
        auto source = create(dir.filePath(QStringLiteral("other.db")));
        fill(*source);
    }
    auto run = [&](Database& target, const char* backend) {
        const long before = peakResidentMb();
        for (const char* pass : {"into an empty database", "again (all present)"}) {
            QElapsedTimer timer;
            timer.start();
            const MergeResult r = mergeDatabase(target, dir.filePath(QStringLiteral("other.db")));
            const double seconds = double(timer.elapsed()) / 1000.0;
            if (!r.complete())
                qFatal("%s", qPrintable(r.countsText()));
            std::printf("%s: merge of %d intervals %s: %.2f s, %lld added, peak resident %ld MB (%ld MB before)\n",
                        backend, kRows, pass, seconds, static_cast<long long>(r.added()), peakResidentMb(), before);
        }
    };
    {
        auto target = create(dir.filePath(QStringLiteral("tvq52.db")));
        run(*target, "SQLite");
    }
    if (QCoreApplication::arguments().contains(QStringLiteral("--server"))) {
        bench::PrivateServer server;
        auto target = server.freshDatabase(QStringLiteral("bench_merge"));
        run(*target, "PostgreSQL (local socket)");
    }
    return 0;
}
