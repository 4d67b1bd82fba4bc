#include "cli_run.h"

#include <QFileInfo>
#include <gtest/gtest.h>

using tvq52::test::CliResult;
using tvq52::test::CliRuns;

TEST(CliIdentify, PrintsTheUnitFromTheSimulatorOnTheConfiguredDevice)
{
    CliRuns cli;
    cli.startSim({"--serial", "4711", "--firmware", "3.3", "--prog-mode", "0"});
    const CliResult set = cli({"config", "set", "SerialDevice", cli.sim->devicePath()});
    ASSERT_EQ(set.exitCode, 0) << qPrintable(set.err);
    EXPECT_EQ(cli({"config", "get", "serialdevice"}).out.trimmed(), cli.sim->devicePath());

    const CliResult r = cli({"identify"});
    EXPECT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_EQ(r.out, QString::fromUtf8("Tipo: 42\nVersión: 3.3\nNúmero de serie: 4711\nModo programación: No (0)\n"));
    // The same in the folder's language, with the unit's values untouched.
    ASSERT_EQ(cli({"config", "set", "Language", "fr"}).exitCode, 0);
    EXPECT_EQ(cli({"identify"}).out, QString::fromUtf8("Type : 42\nVersion : 3.3\nNuméro de série : 4711\nMode programmation : Non (0)\n"));
    // With nobody at the terminal, the connect prompt goes ahead and says so.
    EXPECT_TRUE(r.err.contains("Conectar el PC al TVQ52")) << qPrintable(r.err);
}

TEST(CliIdentify, FailuresExitNonZeroWithTheMessage)
{
    CliRuns cli;
    cli.startSim({"--fault", "silent"});
    const CliResult silent = cli.onSim({"--timeout-ms", "300", "identify"});
    EXPECT_EQ(silent.exitCode, 1);
    EXPECT_TRUE(silent.out.isEmpty());
    EXPECT_TRUE(silent.err.contains("Error en la transmisión de datos. Compruebe la conexión"))
        << qPrintable(silent.err);

    cli.startSim({"--serial", "12A45"});
    const CliResult letters = cli.onSim({"identify"});
    EXPECT_EQ(letters.exitCode, 1);
    EXPECT_TRUE(letters.err.contains("\"012A45\"")) << qPrintable(letters.err);

    const CliResult missing = cli({"--device", cli.home.file("no-such-tty"), "identify"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains("no-such-tty")) << qPrintable(missing.err);
}

TEST(CliIdentify, ModemFromTheSettingsNeedsANumber)
{
    CliRuns cli;
    const QString none = cli.home.file("none");
    ASSERT_EQ(cli({"config", "set", "Modem", "1"}).exitCode, 0);
    const CliResult r = cli({"identify"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("no tiene asignado un número de teléfono")) << qPrintable(r.err);
    // --cable and --device override the settings for this run only, also after the command.
    const CliResult cable = cli({"identify", "--cable", "--device", none});
    EXPECT_TRUE(cable.err.contains("Conectar el PC al TVQ52")) << qPrintable(cable.err);
    EXPECT_TRUE(cable.err.contains(none)) << qPrintable(cable.err);
    // The number of --phone is dialled by every command.
    const CliResult get = cli({"--device", none, "program", "get", "--phone", "555"});
    EXPECT_EQ(get.exitCode, 1);
    EXPECT_TRUE(get.err.contains(QString::fromUtf8("Conectar el módem"))) << qPrintable(get.err);
    EXPECT_EQ(cli({"config", "get", "Modem"}).out.trimmed(), "1");
}

TEST(CliUsage, BadCommandsAndKeysAreUsageErrors)
{
    CliRuns cli;
    EXPECT_EQ(tvq52::test::runCli({}).exitCode, 2);
    // The refusals with their words are CliCommandLine's; these are the units' own commands.
    for (const QStringList& args : {QStringList{"identify", "now"},
                                    {"program"},
                                    {"program", "put", "abc"},
                                    {"program", "get", "--sav"},
                                    {"monitor", "--count", "x"}})
        EXPECT_EQ(cli(args).exitCode, 2) << qPrintable(args.join(' '));
    const CliResult phone = cli({"--modem", "--phone", "555;1\rATS0=1", "identify"});
    EXPECT_EQ(phone.exitCode, 2);
    EXPECT_TRUE(phone.err.startsWith(QStringLiteral("tvq52-cli: --phone solo admite caracteres de marcación")))
        << qPrintable(phone.err);
    const CliResult key = cli({"config", "set", "Password", "x"});
    EXPECT_EQ(key.exitCode, 2);
    EXPECT_TRUE(key.err.contains("SerialDevice"));
    EXPECT_EQ(tvq52::test::runCli({"--home", cli.home.file("fresh"), "init"}).exitCode, 0);
    EXPECT_TRUE(QFileInfo::exists(cli.home.file("fresh/tvq52.ini")));
}
