#include "cli_run.h"
#include "db/store.h"
#include "support/file_size_limit.h"
#include "support/result_checks.h"
#include "support/rows.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlQuery>

using namespace tvq52;
using namespace tvq52::test;

namespace {

// Export from one folder, import into another, twice: the second import adds
// nothing; a file that is not there fails with a non-zero status.
TEST(ExchangeCommands, ExportThenImportThroughTheCommandLine)
{
    CliRuns from;
    from.home.provision();
    {
        auto db = from.home.openDatabase();
        Store store(*db);
        ASSERT_TRUE(store.insert("Programacion", row({{"LNumeroSerie", 52001}, {"TLocal", "Café ·º"}})));
        ASSERT_TRUE(store.insert("Programacion", row({{"LNumeroSerie", 52002}})));
        ASSERT_TRUE(store.insert("DiaBorrado",
                                 row({{"LNumeroSerie", 52001}, {"DFecha", QDate(2024, 5, 1)}, {"THora", "10:00"}})));
    }
    const QString file = from.home.file(QStringLiteral("unit.TQ52"));
    const CliResult exported = from({"export", file, "52001"});
    ASSERT_EQ(exported.exitCode, 0) << exported.err.toStdString();

    CliRuns to;
    to.home.provision();
    const CliResult first = to({"import", file});
    EXPECT_EQ(first.exitCode, 0) << first.err.toStdString();
    EXPECT_TRUE(first.out.contains(QStringLiteral("Programacion: 1 "))) << first.out.toStdString();
    EXPECT_TRUE(first.out.contains(QStringLiteral("DiaBorrado: 1 "))) << first.out.toStdString();
    // Into a pipe the progress ends on the whole file's counts, in the folder's language.
    EXPECT_TRUE(first.err.contains(QRegularExpression(QString::fromUtf8("(^|\n)2 filas leídas, 2 añadidas, \\d+ filas/s\n"))))
        << first.err.toStdString();
    const CliResult second = to({"import", file});
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_TRUE(second.out.contains(QStringLiteral("Programacion: 0 "))) << second.out.toStdString();
    {
        auto db = to.home.openDatabase();
        Store store(*db);
        EXPECT_EQ(test::take(store.count("Programacion")), 1); // only the unit exported
        EXPECT_EQ(
            test::take(store.selectOne("Programacion", row({{"LNumeroSerie", 52001}})))->value("TLocal").toString(),
            QString::fromUtf8("Café ·º"));
    }
    EXPECT_EQ(to({"import", to.home.file(QStringLiteral("missing.TQ52"))}).exitCode, 1);
    EXPECT_EQ(to({"import"}).exitCode, 2);
    EXPECT_EQ(to({"export", file, "notanumber"}).exitCode, 2);
}

QByteArray erasures(int count)
{
    QByteArray file = "//DiaBorrado//\r\nLNumeroSerie;DFecha;THora\r\n";
    for (int i = 0; i < count; ++i)
        file += "52001;" + QDate(1990, 1, 1).addDays(i).toString(Qt::ISODate).toLatin1() + ";\"10:00\"\r\n";
    return file;
}

qint64 stored(const TempHome& home, const char* table)
{
    auto db = home.openDatabase();
    return test::take(Store(*db).count(QString::fromLatin1(table)));
}

// A disk that fills during the import: it stops, says where and why, counts
// only what the database holds, and fails.
TEST(ExchangeCommands, AnImportOnAFullDiskStopsAndFails)
{
    if (onServerBackend())
        GTEST_SKIP() << "the server's disk is not ours to fill";
    CliRuns cli;
    cli.home.provision();
    const QString database = cli.home.file(QStringLiteral("tvq52.db"));
    {
        auto db = cli.home.openDatabase();
        QSqlQuery(db->connection()).exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    }
    cli.home.writeFile(QStringLiteral("many.TQ52"), erasures(20000));
    CliResult r;
    {
        const FileSizeLimit full{rlim_t(QFileInfo(database).size() + 256 * 1024)};
        r = cli({"import", cli.home.file(QStringLiteral("many.TQ52"))});
    }
    EXPECT_EQ(r.exitCode, 1) << r.out.toStdString() << r.err.toStdString();
    // What stopped it is an error; the counts of what was stored stay on standard output.
    EXPECT_TRUE(r.err.contains(QStringLiteral("tvq52-cli: La importación se ha detenido en la línea")))
        << r.err.toStdString();
    EXPECT_FALSE(r.out.contains(QStringLiteral("La importación se ha detenido"))) << r.out.toStdString();
    const QRegularExpressionMatch added =
        QRegularExpression(QStringLiteral("DiaBorrado: (\\d+) añadidos")).match(r.out);
    const qint64 counted = added.hasMatch() ? added.captured(1).toLongLong() : 0;
    EXPECT_LT(counted, 20000);
    EXPECT_EQ(stored(cli.home, "DiaBorrado"), counted);
}

// Another program holding the database's write lock longer than the import
// waits: not a refused row, a failed import.
TEST(ExchangeCommands, AnImportIntoALockedDatabaseFailsSayingSo)
{
    if (onServerBackend())
        GTEST_SKIP() << "a file's lock";
    CliRuns cli;
    cli.home.provision();
    cli.home.writeFile(QStringLiteral("few.TQ52"), erasures(10));
    auto holder = cli.home.openDatabase();
    ASSERT_TRUE(QSqlQuery(holder->connection()).exec(QStringLiteral("BEGIN IMMEDIATE")));
    const CliResult r = cli({"import", cli.home.file(QStringLiteral("few.TQ52"))});
    QSqlQuery(holder->connection()).exec(QStringLiteral("ROLLBACK"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("otro programa tiene la base de datos bloqueada")))
        << r.err.toStdString();
    EXPECT_FALSE(r.out.contains(QStringLiteral("10 rechazados"))) << r.out.toStdString();
    holder.reset();
    EXPECT_EQ(stored(cli.home, "DiaBorrado"), 0);

    // And the merge of another database the same.
    const QString other = cli.home.file(QStringLiteral("otro.db"));
    ASSERT_TRUE(test::succeeded(Database::createSqlite(other)));
    {
        auto db = test::take(Database::openSqlite(other));
        ASSERT_TRUE(
            QSqlQuery(db->connection()).exec(QStringLiteral("INSERT INTO Programacion (LNumeroSerie) VALUES (3)")));
    }
    holder = cli.home.openDatabase();
    ASSERT_TRUE(QSqlQuery(holder->connection()).exec(QStringLiteral("BEGIN IMMEDIATE")));
    const CliResult m = cli({"merge", other});
    QSqlQuery(holder->connection()).exec(QStringLiteral("ROLLBACK"));
    EXPECT_EQ(m.exitCode, 1);
    // Its journal entry comes first, so the merge does not start at all.
    EXPECT_TRUE(m.err.startsWith(QStringLiteral("tvq52-cli: "))) << m.err.toStdString();
    EXPECT_TRUE(m.err.contains(QStringLiteral("La fusión no ha podido empezar"))) << m.err.toStdString();
    EXPECT_TRUE(m.out.isEmpty()) << m.out.toStdString();
    EXPECT_TRUE(m.err.contains(QStringLiteral("bloqueada"))) << m.err.toStdString();
}

TEST(ExchangeCommands, WhatIsNotAnExchangeFileIsToldAndFails)
{
    CliRuns cli;
    cli.home.provision();
    cli.home.writeFile(QStringLiteral("empty.TQ52"), QByteArray());
    const CliResult empty = cli({"import", cli.home.file(QStringLiteral("empty.TQ52"))});
    EXPECT_EQ(empty.exitCode, 1);
    EXPECT_TRUE(empty.err.contains(QStringLiteral("tvq52-cli: No es un archivo de intercambio")))
        << empty.err.toStdString();
    EXPECT_TRUE(empty.out.isEmpty()) << empty.out.toStdString();
    QDir(cli.home.path()).mkdir(QStringLiteral("folder.TQ52"));
    for (const QString& path : {cli.home.file(QStringLiteral("folder.TQ52")), QStringLiteral("/dev/zero")}) {
        const CliResult r = cli({"import", path});
        EXPECT_EQ(r.exitCode, 1) << path.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("no es un archivo normal"))) << r.err.toStdString();
    }
    // Nor is a FIFO in the place of the folder's database: told as such, not as missing.
    QFile::remove(cli.home.file(QStringLiteral("tvq52.db")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(cli.home.file(QStringLiteral("tvq52.db"))).constData(), 0600), 0);
    const CliResult fifo = cli({"journal"});
    EXPECT_EQ(fifo.exitCode, 1);
    EXPECT_TRUE(fifo.err.contains(QStringLiteral("tvq52.db: no es un archivo normal"))) << fifo.err.toStdString();
}

} // namespace
