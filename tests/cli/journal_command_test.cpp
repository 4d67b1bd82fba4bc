#include "app/data_folder.h"
#include "cli_run.h"
#include "db/database.h"
#include "evidence/journal.h"
#include "support/result_checks.h"

#include <gtest/gtest.h>
#include <limits>

using namespace tvq52;
using test::CliResult;
using test::CliRuns;

TEST(CliJournal, PrintsTheRealHeadAnUnknownUnitAndChecksAKeptHead)
{
    CliRuns cli;
    ASSERT_EQ(cli({"init"}).exitCode, 0);
    QByteArray head;
    QByteArray earlier;
    {
        auto db = test::take(Database::openSqlite(databasePath(cli.home.path())));
        ASSERT_TRUE(db);
        Journal journal(*db);
        ASSERT_TRUE(journal.append(JournalAction::ProgramTransmit, 4711, QStringLiteral("cable"),
                                   QStringLiteral("completed"), {}));
        earlier = journal.head().value();
        // Opened first, sealed last: the head is not the highest number.
        const auto first = journal.open(JournalAction::Download, 4711, QStringLiteral("modem"));
        ASSERT_TRUE(first);
        ASSERT_TRUE(journal.append(JournalAction::Download, std::numeric_limits<qint32>::min(), QStringLiteral("cable"),
                                   QStringLiteral("failed"), QStringLiteral("Sin respuesta")));
        ASSERT_TRUE(journal.seal(*first, QStringLiteral("completed"), {}));
        head = journal.head().value();
        ASSERT_EQ(journal.entries().value().value(1).id, *first);
        ASSERT_EQ(journal.entries().value().value(1).hash, head);
    }

    const CliResult listed = cli({"journal"});
    EXPECT_EQ(listed.exitCode, 0);
    EXPECT_TRUE(listed.out.contains(QStringLiteral("Cabeza del diario: ") + QString::fromLatin1(head)))
        << qPrintable(listed.out);
    EXPECT_TRUE(listed.out.contains(QStringLiteral("download unit unknown by cable: failed")))
        << qPrintable(listed.out);
    EXPECT_FALSE(listed.out.contains(QStringLiteral("-2147483648")));
    const CliResult alone = cli({"journal", "--head"});
    EXPECT_EQ(alone.exitCode, 0);
    EXPECT_EQ(alone.out, QString::fromLatin1(head) + QLatin1Char('\n')) << "the head alone, for scripts";
    EXPECT_EQ(cli({"journal", "--head", "--serial", "4711"}).exitCode, 2);

    CliResult verify = cli({"verify", "--head", QString::fromLatin1(earlier)});
    EXPECT_EQ(verify.exitCode, 0) << qPrintable(verify.out);
    EXPECT_TRUE(verify.out.contains(QStringLiteral("Cabeza del diario: ") + QString::fromLatin1(head)));
    verify = cli({"verify", "4711", "--head", QString(64, QLatin1Char('0'))});
    EXPECT_EQ(verify.exitCode, 1);
    EXPECT_TRUE(verify.out.contains(QStringLiteral("kept head missing"))) << qPrintable(verify.out);
    EXPECT_EQ(cli({"verify", "--head", "abc"}).exitCode, 2);
    EXPECT_EQ(cli({"verify", "--head"}).exitCode, 2);
}
