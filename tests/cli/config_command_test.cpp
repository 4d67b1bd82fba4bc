#include "cli_run.h"
#include "support/file_size_limit.h"

#include <QFile>
#include <gtest/gtest.h>

using tvq52::test::CliRuns;

namespace {

QByteArray settingsBytes(const CliRuns& cli)
{
    QFile f(cli.home.file(QStringLiteral("tvq52.ini")));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST(CliConfig, AValueTheProgramCannotUseIsRefusedWithTheReason)
{
    CliRuns cli;
    ASSERT_EQ(cli({"config", "set", "DialCode", "0, W"}).exitCode, 0);
    const QByteArray before = settingsBytes(cli);
    const QList<QStringList> refused{{"ModemSpeed", "38400"}, {"ModemSpeed", "99999"},   {"SerialPort", "abc"},
                                     {"DialCode", "9;ATH"},   {"SerialDevice", "ttyS0"}, {"Language", "de"}};
    for (const QStringList& kv : refused) {
        const tvq52::test::CliResult r = cli({"config", "set", kv[0], kv[1]});
        EXPECT_EQ(r.exitCode, 2) << qPrintable(kv.join(' '));
        EXPECT_TRUE(r.err.contains(kv[0])) << qPrintable(r.err);
    }
    EXPECT_EQ(settingsBytes(cli), before);
    EXPECT_EQ(cli({"config", "get", "DialCode"}).out, "0, W\n");
}

TEST(CliConfig, ASetThatCannotBeWrittenFailsAndKeepsTheFile)
{
    CliRuns cli;
    ASSERT_EQ(cli({"init"}).exitCode, 0);
    const QByteArray before = settingsBytes(cli);
    tvq52::test::CliResult r;
    {
        tvq52::test::FileSizeLimit full(16);
        r = cli({"config", "set", "User", "Ayuntamiento"});
    }
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("tvq52.ini")) << qPrintable(r.err);
    EXPECT_EQ(settingsBytes(cli), before);
}
