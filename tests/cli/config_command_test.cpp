#include "cli_run.h"
#include "support/file_bytes.h"
#include "support/file_size_limit.h"

#include <gtest/gtest.h>

using tvq52::test::CliRuns;

namespace {

QByteArray settingsBytes(const CliRuns& cli)
{
    return tvq52::test::readBytes(cli.home.file(QStringLiteral("tvq52.ini")));
}

} // namespace

TEST(CliConfig, AValueTheProgramCannotUseIsRefusedWithTheReason)
{
    CliRuns cli;
    ASSERT_EQ(cli({"config", "set", "DialCode", "0, W"}).exitCode, 0);
    const QByteArray before = settingsBytes(cli);
    const QList<QStringList> refused{{"ModemSpeed", "38400"}, {"ModemSpeed", "99999"},   {"SerialPort", "abc"},
                                     {"DialCode", "9;ATH"},   {"SerialDevice", "ttyS0"}, {"Language", "nl"},
                                     {"CollectDevices", "/dev/ttyS0,ttyUSB0"}, {"CollectReports", "informes"},
                                     {"FleetStaleDays", "0"}, {"FleetStaleDays", "treinta"},
                                     {"TimestampUrl", "ftp://tsa.example.org"}, {"TimestampUrl", "https://"},
                                     {"TimestampUrl", "tsa.example.org"}, {"KeyPassphraseFile", "frase.txt"},
                                     {"RequireSignedImports", "si"}, {"RequireSignedImports", "2"}};
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

// The unattended round's lines and report folder, and the overview's
// stale days, are set like any other key.
TEST(CliConfig, TheOfficeRoundsSettingsAreTakenAndReadBack)
{
    CliRuns cli;
    const QList<QStringList> taken{{"CollectDevices", "/dev/ttyS0,/dev/ttyUSB1"},
                                   {"CollectReports", "/srv/informes"},
                                   {"FleetStaleDays", "45"},
                                   {"collectreports", ""},
                                   {"TimestampUrl", "http://tsa.example.org:318/stamp"},
                                   {"KeyPassphraseFile", "/etc/tvq52/frase"},
                                   {"requiresignedimports", "1"}};
    for (const QStringList& kv : taken) {
        const tvq52::test::CliResult set = cli({"config", "set", kv[0], kv[1]});
        EXPECT_EQ(set.exitCode, 0) << qPrintable(kv.join(' ') + ": " + set.err);
    }
    EXPECT_EQ(cli({"config", "get", "CollectDevices"}).out, "/dev/ttyS0,/dev/ttyUSB1\n");
    EXPECT_EQ(cli({"config", "get", "FleetStaleDays"}).out, "45\n");
    EXPECT_EQ(cli({"config", "get", "CollectReports"}).out, "\n");
    EXPECT_EQ(cli({"config", "get", "RequireSignedImports"}).out, "1\n");
    // --json names the key as the program spells it; null for a key not in the file.
    EXPECT_EQ(cli({"config", "get", "fleetstaledays", "--json"}).out.simplified(),
              R"({ "key": "FleetStaleDays", "value": "45" })");
    EXPECT_EQ(cli({"config", "get", "SerialDevice", "--json"}).out.simplified(),
              R"({ "key": "SerialDevice", "value": null })");
    EXPECT_EQ(cli({"config", "set", "User", "x", "--json"}).exitCode, 2);
}

// A language is written as a person names it and kept as the program
// reads it: its locale identifier.
TEST(CliConfig, ALanguageIsTakenByNameOrCodeAndKeptAsItsIdentifier)
{
    CliRuns cli;
    const QList<QPair<QString, QString>> spellings{{"en", "1033"},      {"Deutsch", "1031"}, {"francais", "1036"},
                                                   {"pt_PT", "2070"},   {"catalan", "1027"}, {"6000", "1040"},
                                                   {"ESPAÑOL", "1034"}, {"1033", "1033"}};
    for (const auto& [given, kept] : spellings) {
        const tvq52::test::CliResult set = cli({"config", "set", "Language", given});
        EXPECT_EQ(set.exitCode, 0) << qPrintable(given + ": " + set.err);
        EXPECT_EQ(cli({"config", "get", "Language"}).out, kept + QLatin1Char('\n')) << qPrintable(given);
    }
    const tvq52::test::CliResult wrong = cli({"config", "set", "Language", "klingon"});
    EXPECT_EQ(wrong.exitCode, 2);
    // The refusal names what would do.
    EXPECT_TRUE(wrong.err.contains("English") && wrong.err.contains("en")) << qPrintable(wrong.err);
    EXPECT_EQ(cli({"config", "get", "Language"}).out, "1033\n");
}

// The reason a value is refused is told in the language of the settings,
// like the rest of the message.
TEST(CliConfig, ARefusalsReasonFollowsTheLanguageSetting)
{
    CliRuns cli;
    ASSERT_EQ(cli({"config", "set", "Language", "de"}).exitCode, 0);
    const tvq52::test::CliResult speed = cli({"config", "set", "ModemSpeed", "38400"});
    EXPECT_EQ(speed.exitCode, 2);
    EXPECT_TRUE(speed.err.contains("ist eine Leitungsgeschwindigkeit")) << qPrintable(speed.err);
    EXPECT_FALSE(speed.err.contains("velocidad")) << qPrintable(speed.err);
    ASSERT_EQ(cli({"config", "set", "Language", "fr"}).exitCode, 0);
    const tvq52::test::CliResult user = cli({"config", "set", "User", QString(51, QLatin1Char('x'))});
    EXPECT_EQ(user.exitCode, 2);
    EXPECT_TRUE(user.err.contains("accepte au plus 50 caractères")) << qPrintable(user.err);
}
