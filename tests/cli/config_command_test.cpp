#include "cli_run.h"
#include "support/file_size_limit.h"
#include "support/temp_home.h"

#include <QFile>
#include <gtest/gtest.h>

using tvq52::test::runCli;

namespace {

QByteArray settingsBytes(const tvq52::test::TempHome& home)
{
    QFile f(home.file(QStringLiteral("tvq52.ini")));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST(CliConfig, AValueTheProgramCannotUseIsRefusedWithTheReason)
{
    tvq52::test::TempHome home;
    ASSERT_EQ(runCli({"--home", home.path(), "config", "set", "DialCode", "0, W"}).exitCode, 0);
    const QByteArray before = settingsBytes(home);
    const QList<QStringList> refused{{"ModemSpeed", "38400"}, {"ModemSpeed", "99999"},   {"SerialPort", "abc"},
                                     {"DialCode", "9;ATH"},   {"SerialDevice", "ttyS0"}, {"Language", "de"}};
    for (const QStringList& kv : refused) {
        const tvq52::test::CliResult r = runCli({"--home", home.path(), "config", "set", kv[0], kv[1]});
        EXPECT_EQ(r.exitCode, 2) << qPrintable(kv.join(' '));
        EXPECT_TRUE(r.err.contains(kv[0])) << qPrintable(r.err);
    }
    EXPECT_EQ(settingsBytes(home), before);
    EXPECT_EQ(runCli({"--home", home.path(), "config", "get", "DialCode"}).out, "0, W\n");
}

TEST(CliConfig, ASetThatCannotBeWrittenFailsAndKeepsTheFile)
{
    tvq52::test::TempHome home;
    ASSERT_EQ(runCli({"--home", home.path(), "init"}).exitCode, 0);
    const QByteArray before = settingsBytes(home);
    tvq52::test::CliResult r;
    {
        tvq52::test::FileSizeLimit full(16);
        r = runCli({"--home", home.path(), "config", "set", "User", "Ayuntamiento"});
    }
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("tvq52.ini")) << qPrintable(r.err);
    EXPECT_EQ(settingsBytes(home), before);
}
