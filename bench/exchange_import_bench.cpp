// Wall time of importing a 1,000,000-row exchange file into an empty
// database and of importing it again (every row present), against the
// database engine's own loader of the same rows into the same keyed table:
// sqlite3's .import, and psql's \copy on a private PostgreSQL server (run
// whenever the server programs are installed; --server makes their absence a
// failure). On the server the journal's share of the time and its bytes per
// row are shown too. Rows via --rows N; --quick uses 20,000 and judges nothing;
// --roles imports on the server as a login of the collect group, the office
// roles set up. Each timed run on the server starts after a checkpoint. A
// full run times each side three times in turn and compares their shortest
// times.
#include "bench_database.h"
#include "bench_server.h"
#include "bench_support.h"
#include "db/database.h"
#include "db/schema.h"
#include "exchange/exchange_format.h"
#include "exchange/exchange_import.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>

using namespace tvq52;

namespace {

const QString kTable = QStringLiteral("Intervalos");

// Intervals of two minutes for 20 units, with the texts a download stores:
// the exchange file, and the same rows as stored, in the table's column
// order, as CSV for the engines' own loaders.
bool writeFiles(const QString& path, const QString& csvPath, int rows)
{
    QFile f(path), csv(csvPath);
    if (!f.open(QIODevice::WriteOnly) || !csv.open(QIODevice::WriteOnly))
        return false;
    const ExchangeSection& s = *exchangeSection(kTable);
    if (s.fileColumns + QStringList{QStringLiteral("THoraInicio"), QStringLiteral("THoraFinal")}
        != s.table->columnNames())
        return false; // the CSV below follows the table's order
    f.write("//Intervalos//\r\n" + s.fileColumns.join(QLatin1Char(';')).toLatin1() + "\r\n");
    const QDateTime first(QDate(2015, 1, 1), QTime(0, 0));
    const int perUnit = rows / 20 + 1;
    QByteArray line, stored;
    for (int i = 0; i < rows; ++i) {
        const QDateTime start = first.addSecs(qint64(i % perUnit) * 120);
        const QDateTime end = start.addSecs(120);
        const QByteArray serial = QByteArray::number(52000 + i / perUnit);
        const QByteArray a = start.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1();
        const QByteArray b = end.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1();
        line = serial + ';' + a + ';' + b
            + ";2;87,1;45,2;\"Leq125ms\";\"0\";1;0;93,4;\"05/03/2024\";\"10:15\";65,5;\"05/03/2024\";\"10:14\";"
              "101,2;3;12;90,5;88,1;85;80,2;70,9;0;-1;0;14;2;0;0;0;0\r\n";
        stored = serial + ',' + a.left(10) + ',' + b.left(10)
            + ",2,87.1,45.2,Leq125ms,0,1,0,93.4,05/03/2024,10:15,65.5,05/03/2024,10:14,"
              "101.2,3,12,90.5,88.1,85,80.2,70.9,0,1,0,14,2,0,0,0,0,"
            + a.mid(11, 5) + ',' + b.mid(11, 5) + '\n';
        if (f.write(line) != line.size() || csv.write(stored) != stored.size())
            return false;
    }
    return true;
}

struct Pass {
    double seconds = 0;
    bool ok = false;
};

// Imports the file twice: into the empty database, then again.
std::pair<Pass, Pass> importTwice(Database& db, const QString& file, int rows, const char* backend, bench::Verdict& v,
                                  const bench::PrivateServer* server = nullptr)
{
    Pass passes[2];
    for (int pass = 0; pass < 2; ++pass) {
        ExchangeImporter importer(db);
        if (server)
            server->checkpoint();
        QElapsedTimer t;
        t.start();
        const double cpu = bench::cpuSeconds(RUSAGE_SELF);
        const double serverCpu = server ? server->cpuSeconds() : 0;
        const ImportSummary s = importer.run(file);
        passes[pass].seconds = double(t.elapsed()) / 1000.0;
        const TableImport& iv = s.tables[4];
        std::printf(
            "%s, %s: %.2f s (our CPU %.2f s, the server's %.2f s), %lld rows/s, added %lld, present %lld, "
            "differs %lld, refused %lld\n",
            backend, pass == 0 ? "import into empty database" : "same file again (all present)", passes[pass].seconds,
            bench::cpuSeconds(RUSAGE_SELF) - cpu, server ? server->cpuSeconds() - serverCpu : 0.0,
            qint64(double(rows) / std::max(0.001, passes[pass].seconds)), iv.added, iv.present, iv.differs, iv.refused);
        std::fflush(stdout);
        const qint64 expectAdded = pass == 0 ? rows : 0;
        passes[pass].ok = s.succeeded() && iv.table == kTable && iv.added == expectAdded
            && iv.present == rows - expectAdded && iv.differs == 0 && iv.refused == 0;
        if (!passes[pass].ok)
            v.failed(QStringLiteral("%1 import pass %2: %3").arg(QLatin1String(backend)).arg(pass + 1).arg(s.error));
    }
    return {passes[0], passes[1]};
}

// Runs a loader program; its wall time in seconds, or a negative one when it failed.
double timedRun(const QString& program, const QStringList& args, bench::Verdict& v,
                const bench::PrivateServer* server = nullptr)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer t;
    t.start();
    const double cpu = bench::cpuSeconds(RUSAGE_CHILDREN);
    const double serverCpu = server ? server->cpuSeconds() : 0;
    p.start(program, args);
    const bool ok = p.waitForFinished(-1) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    const double seconds = double(t.elapsed()) / 1000.0;
    std::printf("%s: %.2f s (its CPU %.2f s, the server's %.2f s)\n", qPrintable(program), seconds,
                bench::cpuSeconds(RUSAGE_CHILDREN) - cpu, server ? server->cpuSeconds() - serverCpu : 0.0);
    const QByteArray said = p.readAll().trimmed();
    if (!ok || !said.isEmpty()) {
        v.failed(QStringLiteral("%1: %2").arg(program, QString::fromLocal8Bit(said)));
        return -1;
    }
    return seconds;
}

QString quotedColumns()
{
    QStringList names;
    for (const QString& name : schemaTable(kTable)->columnNames())
        names << quoteIdentifier(name);
    return names.join(QLatin1Char(','));
}

void judge(bench::Verdict& v, const QString& backend, const QString& loader, std::pair<Pass, Pass> ours, double theirs)
{
    if (!ours.first.ok || !ours.second.ok || theirs <= 0)
        return;
    std::printf("%s, the shortest of each side's runs: import %.2f s (again %.2f s), %s of the same rows into the "
                "same keyed table %.2f s\n",
                qPrintable(backend), ours.first.seconds, ours.second.seconds, qPrintable(loader), theirs);
    v.atMost(QStringLiteral("%1 import / %2").arg(backend, loader), ours.first.seconds / theirs, 1.5, "x");
    v.atMost(QStringLiteral("%1 re-import / first import").arg(backend), ours.second.seconds / ours.first.seconds, 1.0,
             "x");
}

// Keeps each pass's shortest time; a failed pass fails the lot.
void keepShortest(std::pair<Pass, Pass>& best, const std::pair<Pass, Pass>& run, bool firstRound)
{
    for (auto [kept, got] : {std::pair{&best.first, &run.first}, std::pair{&best.second, &run.second}}) {
        kept->ok = (firstRound || kept->ok) && got->ok;
        kept->seconds = bench::shortest(firstRound ? -1 : kept->seconds, got->seconds);
    }
}

// Each side in turn, a few times over in a full run: the machine's speed
// drifts by more than the targets' margin between one run and the next.
void sqliteRuns(const QTemporaryDir& dir, const QString& file, const QString& csv, int rows, int rounds,
                bench::Verdict& v)
{
    std::pair<Pass, Pass> best;
    double theirs = -1;
    for (int r = 0; r < rounds; ++r) {
        const QString path = dir.filePath(QStringLiteral("tvq52-%1.db").arg(r));
        std::pair<Pass, Pass> ours;
        {
            std::unique_ptr<Database> db = bench::freshDatabase(path);
            ours = importTwice(*db, file, rows, "SQLite", v);
        }
        keepShortest(best, ours, r == 0);
        // The journal's share of the time and its bytes per row, as on the server.
        if (r + 1 == rounds && ours.first.ok
            && !bench::printSqliteJournalShare(path, "Intervalos", rows, ours.first.seconds))
            v.failed(QStringLiteral("SQLite: the journal's figures"));
        // The loader's file gets the program's schema too: the same table, key and checks.
        const QString theirsPath = dir.filePath(QStringLiteral("sqlite3-import-%1.db").arg(r));
        bench::freshDatabase(theirsPath).reset();
        theirs = bench::shortest(theirs, timedRun(QStringLiteral("/usr/bin/sqlite3"),
                                                  {theirsPath, QStringLiteral(".import --csv %1 %2").arg(csv, kTable)},
                                                  v));
        for (const QString& done : {path, theirsPath})
            for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
                QFile::remove(done + suffix);
    }
    judge(v, QStringLiteral("SQLite"), QStringLiteral("sqlite3 .import"), best, theirs);
}

void serverRuns(const QString& file, const QString& csv, int rows, int rounds, bench::Verdict& v)
{
    bench::PrivateServer server;
    const DatabaseTarget& admin = server.admin();
    std::pair<Pass, Pass> best;
    double theirs = -1;
    for (int r = 0; r < rounds; ++r) {
        std::unique_ptr<Database> db = server.freshDatabase(QStringLiteral("bench_import_%1").arg(r));
        const auto collector = server.asCollector(*db);
        const std::pair<Pass, Pass> ours =
            importTwice(collector ? *collector : *db, file, rows, "PostgreSQL", v, &server);
        keepShortest(best, ours, r == 0);
        if (r + 1 == rounds && ours.first.ok && !bench::printJournalShare(*db, rows, ours.first.seconds))
            v.failed(QStringLiteral("PostgreSQL: the journal's figures"));
        const QString copyDatabase = QStringLiteral("bench_copy_%1").arg(r);
        server.freshDatabase(copyDatabase).reset();
        server.checkpoint();
        theirs = bench::shortest(
            theirs, timedRun(QStringLiteral("psql"),
                             {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"),
                              QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-h"), admin.host,
                              QStringLiteral("-p"), QString::number(admin.port), QStringLiteral("-U"), admin.user,
                              QStringLiteral("-d"), copyDatabase, QStringLiteral("-c"),
                              QStringLiteral("\\copy \"%1\" (%2) FROM '%3' WITH (FORMAT csv)")
                                  .arg(kTable, quotedColumns(), csv)},
                             v, &server));
    }
    judge(v, QStringLiteral("PostgreSQL"), QStringLiteral("psql \\copy"), best, theirs);
}

bool serverToolsInstalled()
{
    const QStringList versions =
        QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    bool initdb = false;
    for (const QString& version : versions)
        initdb = initdb || QFile::exists(QStringLiteral("/usr/lib/postgresql/%1/bin/initdb").arg(version));
    return initdb && !QStandardPaths::findExecutable(QStringLiteral("psql")).isEmpty();
}

} // namespace

int main(int argc, char** argv)
{
    bench::Verdict v(argc, argv);
    QCoreApplication app(argc, argv);
    const int rows = v.rows(1000000, 20000);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("big.TQ52"));
    const QString csv = dir.filePath(QStringLiteral("rows.csv"));
    if (!writeFiles(file, csv, rows)) {
        v.failed(QStringLiteral("writing the exchange file and its CSV"));
        return v.exitCode();
    }
    std::printf("exchange file: %d rows, %lld MB\n", rows, QFile(file).size() / (1024 * 1024));
    const int rounds = v.size(3, 1);
    sqliteRuns(dir, file, csv, rows, rounds, v);
    if (serverToolsInstalled())
        serverRuns(file, csv, rows, rounds, v);
    else if (QCoreApplication::arguments().contains(QStringLiteral("--server")))
        v.failed(QStringLiteral("no PostgreSQL server programs or psql (apt-get install postgresql)"));
    else
        std::printf("PostgreSQL left out: its server programs or psql are not installed\n");
    return v.exitCode();
}
