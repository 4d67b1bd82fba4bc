// Wall time and peak resident memory of importing a 1,000,000-row exchange
// file into an empty database, and of importing it again (every row present).
// Prints the figures; rows via --rows N. With --server the same again into a
// private PostgreSQL server over its unix socket, beside the SQLite figures.
#include "bench_database.h"
#include "bench_server.h"
#include "db/database.h"
#include "exchange/exchange_format.h"
#include "exchange/exchange_import.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>

using namespace tvq52;

namespace {

qint64 peakResidentKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// Intervals of two minutes for 20 units, with the texts a download stores.
void writeFile(const QString& path, int rows)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    const ExchangeSection& s = *exchangeSection(QStringLiteral("Intervalos"));
    f.write("//Intervalos//\r\n" + s.fileColumns.join(QLatin1Char(';')).toLatin1() + "\r\n");
    const QDateTime first(QDate(2015, 1, 1), QTime(0, 0));
    const int perUnit = rows / 20 + 1;
    QByteArray line;
    for (int i = 0; i < rows; ++i) {
        const QDateTime start = first.addSecs(qint64(i % perUnit) * 120);
        const QByteArray a = start.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1();
        const QByteArray b = start.addSecs(120).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1();
        line = QByteArray::number(52000 + i / perUnit) + ';' + a + ';' + b
               + ";2;87,1;45,2;\"Leq125ms\";\"0\";1;0;93,4;\"05/03/2024\";\"10:15\";65,5;\"05/03/2024\";\"10:14\";"
                 "101,2;3;12;90,5;88,1;85;80,2;70,9;0;-1;0;14;2;0;0;0;0\r\n";
        f.write(line);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int rows = 1000000;
    const QStringList args = QCoreApplication::arguments();
    if (const qsizetype i = args.indexOf(QStringLiteral("--rows")); i > 0 && i + 1 < args.size())
        rows = args[i + 1].toInt();
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("big.TQ52"));
    writeFile(file, rows);
    QTextStream out(stdout);
    out << "exchange file: " << rows << " rows, " << QFile(file).size() / (1024 * 1024) << " MB" << Qt::endl;
    auto run = [&](Database& db, const char* backend) {
        for (const char* pass : {"import into empty database", "same file again (all present)"}) {
            ExchangeImporter importer(db);
            QElapsedTimer t;
            t.start();
            const ImportSummary s = importer.run(file);
            const double seconds = double(t.elapsed()) / 1000.0;
            if (!s.opened)
                qFatal("%s", qPrintable(s.error));
            const TableImport& iv = s.tables[4];
            out << backend << ", " << pass << ": " << QString::number(seconds, 'f', 2) << " s, "
                << qint64(double(rows) / seconds) << " rows/s, added " << iv.added << ", present " << iv.present
                << ", refused " << iv.refused << ", peak resident " << peakResidentKb() / 1024 << " MB" << Qt::endl;
        }
    };
    {
        std::unique_ptr<Database> db = bench::freshDatabase(dir.filePath(QStringLiteral("tvq52.db")));
        run(*db, "SQLite");
    }
    if (args.contains(QStringLiteral("--server"))) {
        bench::PrivateServer server;
        std::unique_ptr<Database> db = server.freshDatabase(QStringLiteral("bench_import"));
        run(*db, "PostgreSQL (local socket)");
    }
    return 0;
}
