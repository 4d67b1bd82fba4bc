// Wall time and peak memory of exporting one unit of 1,000,000 intervals to
// an exchange file, against `sqlite3 -csv` writing the same rows of the same
// database. Targets: at most 1.5x the engine's own output, and memory that
// stays under 100 MB however many rows the unit has. Rows via --rows N;
// --quick uses 20,000 and judges nothing.
#include "bench_database.h"
#include "bench_support.h"
#include "db/database.h"
#include "exchange/exchange_format.h"
#include "exchange/exchange_import.h"
#include "exchange/exchange_writer.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>

using namespace tvq52;

namespace {

constexpr qint32 kSerial = 52000;

// Two-minute intervals of one unit, with levels that change from row to row
// so that the singles take their usual lengths.
bool writeFile(const QString& path, int rows)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    const ExchangeSection& s = *exchangeSection(QStringLiteral("Intervalos"));
    f.write("//Intervalos//\r\n" + s.fileColumns.join(QLatin1Char(';')).toLatin1() + "\r\n");
    const QDateTime first(QDate(2015, 1, 1), QTime(0, 0));
    QByteArray line;
    for (int i = 0; i < rows; ++i) {
        const QDateTime start = first.addSecs(qint64(i) * 120);
        const QByteArray a = start.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1();
        const QByteArray b = start.addSecs(120).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1();
        const QByteArray venue = QByteArray::number(60 + (i % 400) / 10.0, 'f', 1);
        const QByteArray neighbour = QByteArray::number(30 + (i % 217) / 7.0, 'f', 2);
        line = QByteArray::number(kSerial) + ';' + a + ';' + b + ";2;" + venue + ';' + neighbour
            + ";\"Leq125ms\";\"0\";1;0;93,4;\"05/03/2024\";\"10:15\";65,5;\"05/03/2024\";\"10:14\";"
              "101,2;3;12;90,5;88,1;85;80,2;70,9;0;-1;0;14;2;0;0;0;0\r\n";
        if (f.write(line) != line.size())
            return false;
    }
    return f.flush();
}

// Forgets the peak resident memory so far, so that the next reading is of
// what follows alone; false where the system cannot.
bool resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    return f.open(QIODevice::WriteOnly) && f.write("5") == 1 && f.flush();
}

// The engine writing the same rows in the same order as CSV: its wall time,
// or a negative one when it failed.
double sqliteCsv(const QString& db, const QString& out, bench::Verdict& v)
{
    QStringList key;
    for (const char* k : exchangeSection(QStringLiteral("Intervalos"))->table->key)
        key << quoteIdentifier(QString::fromUtf8(k));
    QProcess p;
    p.setStandardOutputFile(out);
    QElapsedTimer t;
    t.start();
    p.start(QStringLiteral("/usr/bin/sqlite3"),
            {QStringLiteral("-csv"), db,
             QStringLiteral("SELECT * FROM \"Intervalos\" WHERE \"LNumeroSerie\" = %1 ORDER BY %2")
                 .arg(kSerial)
                 .arg(key.join(QLatin1Char(',')))});
    const bool ok = p.waitForFinished(-1) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    const double seconds = double(t.elapsed()) / 1000.0;
    if (!ok) {
        v.failed(QStringLiteral("sqlite3 -csv: %1").arg(QString::fromLocal8Bit(p.readAllStandardError())));
        return -1;
    }
    std::printf("sqlite3 -csv of the same rows: %.2f s, %lld MB\n", seconds, QFile(out).size() / (1024 * 1024));
    return seconds;
}

} // namespace

int main(int argc, char** argv)
{
    bench::Verdict v(argc, argv);
    QCoreApplication app(argc, argv);
    const int rows = v.rows(1000000, 20000);
    QTemporaryDir dir;
    const QString dbPath = dir.filePath(QStringLiteral("tvq52.db"));
    const QString in = dir.filePath(QStringLiteral("in.TQ52"));
    if (!writeFile(in, rows)) {
        v.failed(QStringLiteral("writing the exchange file to fill the database"));
        return v.exitCode();
    }
    std::unique_ptr<Database> db = bench::freshDatabase(dbPath);
    {
        ExchangeImporter importer(*db);
        const ImportSummary s = importer.run(in);
        if (!s.succeeded() || s.tables[4].added != rows) {
            v.failed(QStringLiteral("filling the database: %1").arg(s.error));
            return v.exitCode();
        }
    }
    QFile::remove(in);
    const bool peakReset = resetPeak();
    const double before = double(bench::statusKb("VmRSS")) / 1024.0;
    const double cpu = bench::cpuSeconds(RUSAGE_SELF);
    QElapsedTimer t;
    t.start();
    const Result<qint64> written = writeExchangeFile(*db, dir.filePath(QStringLiteral("out.TQ52")), {kSerial});
    const double seconds = double(t.elapsed()) / 1000.0;
    const double peak = bench::peakResidentMb();
    if (!written || *written != rows) {
        v.failed(QStringLiteral("the export: %1").arg(written ? QStringLiteral("%1 rows").arg(*written)
                                                             : written.error().detail));
        return v.exitCode();
    }
    std::printf("export of %d intervals of one unit: %.2f s (our CPU %.2f s), %lld MB, peak memory %.1f MB "
                "(%.1f MB resident before)%s\n",
                rows, seconds, bench::cpuSeconds(RUSAGE_SELF) - cpu,
                QFile(dir.filePath(QStringLiteral("out.TQ52"))).size() / (1024 * 1024), peak, before,
                peakReset ? "" : " (since the start: the system cannot forget an earlier peak)");
    std::fflush(stdout);
    db.reset();
    const double theirs = sqliteCsv(dbPath, dir.filePath(QStringLiteral("out.csv")), v);
    if (theirs > 0)
        v.atMost(QStringLiteral("export / sqlite3 -csv"), seconds / theirs, 1.5, "x");
    v.atMost(QStringLiteral("peak memory of the export"), peak, 100, "MB");
    return v.exitCode();
}
