#include "cli_run.h"
#include "db/database.h"
#include "support/result_checks.h"

#include <QSqlQuery>

using tvq52::Database;
using tvq52::test::CliRuns;

TEST(CliMerge, PrintsTheRowsPerTableAndExitsNonZeroOnAFileItCannotRead)
{
    CliRuns cli;
    ASSERT_EQ(cli({"init"}).exitCode, 0);
    const QString other = cli.home.file(QStringLiteral("oficina.db"));
    ASSERT_TRUE(tvq52::test::succeeded(Database::createSqlite(other)));
    {
        auto db = tvq52::test::take(Database::openSqlite(other));
        ASSERT_TRUE(
            QSqlQuery(db->connection()).exec(QStringLiteral("INSERT INTO Programacion (LNumeroSerie) VALUES (31)")));
    }

    const auto first = cli({"merge", other});
    EXPECT_EQ(first.exitCode, 0) << first.err.toStdString();
    EXPECT_TRUE(first.out.contains(QStringLiteral("Programacion: 1 "))) << first.out.toStdString();
    // The second time the unit is there already.
    const auto second = cli({"merge", other});
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_TRUE(second.out.contains(QStringLiteral("Programacion: 0 "))) << second.out.toStdString();
    // Both merges are in the journal.
    EXPECT_EQ(cli({"journal"}).out.count(QStringLiteral(" merge: completed")), 2);

    cli.home.writeFile(QStringLiteral("junk.db"), "no database here");
    const auto junk = cli({"merge", cli.home.file(QStringLiteral("junk.db"))});
    EXPECT_EQ(junk.exitCode, 1);
    EXPECT_TRUE(junk.err.contains(QStringLiteral("junk.db"))) << junk.err.toStdString();
    EXPECT_EQ(cli({"merge", cli.home.file(QStringLiteral("tvq52.db"))}).exitCode, 1);
    const auto device = cli({"merge", "/dev/null"});
    EXPECT_EQ(device.exitCode, 1);
    EXPECT_TRUE(device.err.contains(QStringLiteral("no es un archivo normal"))) << device.err.toStdString();
    EXPECT_EQ(cli({"merge"}).exitCode, 2);
}
