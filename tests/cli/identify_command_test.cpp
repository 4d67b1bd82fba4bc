#include "cli_run.h"
#include "sim_process.h"
#include "support/temp_home.h"

#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

const QString kSimulator = QStringLiteral(TVQ52_BIN_DIR "/tvq52-sim");

} // namespace

TEST(CliIdentify, PrintsTheUnitFromTheSimulatorOnTheConfiguredDevice)
{
    tvq52::sim::SimProcess sim(kSimulator, {"--serial", "4711", "--firmware", "3.3", "--prog-mode", "0"});
    ASSERT_TRUE(sim.start()) << qPrintable(sim.error());
    tvq52::test::TempHome home;

    const tvq52::test::CliResult set =
        tvq52::test::runCli({"--home", home.path(), "config", "set", "SerialDevice", sim.devicePath()});
    ASSERT_EQ(set.exitCode, 0) << qPrintable(set.err);
    EXPECT_EQ(tvq52::test::runCli({"--home", home.path(), "config", "get", "serialdevice"}).out.trimmed(),
              sim.devicePath());

    const tvq52::test::CliResult r = tvq52::test::runCli({"--home", home.path(), "identify"});
    EXPECT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_EQ(r.out, "Type: 42\nFirmware: 3.3\nSerial number: 4711\nProgramming mode: no (0)\n");
    // With nobody at the terminal, the connect prompt goes ahead and says so.
    EXPECT_TRUE(r.err.contains("Conectar el PC al TVQ52")) << qPrintable(r.err);
}

TEST(CliIdentify, FailuresExitNonZeroWithTheMessage)
{
    tvq52::test::TempHome home;
    {
        tvq52::sim::SimProcess sim(kSimulator, {"--fault", "silent"});
        ASSERT_TRUE(sim.start()) << qPrintable(sim.error());
        const tvq52::test::CliResult r = tvq52::test::runCli(
            {"--home", home.path(), "--device", sim.devicePath(), "--timeout-ms", "300", "identify"});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_TRUE(r.err.contains("Error en la transmisión de datos. Compruebe la conexión")) << qPrintable(r.err);
    }
    {
        tvq52::sim::SimProcess sim(kSimulator, {"--serial", "12A45"});
        ASSERT_TRUE(sim.start()) << qPrintable(sim.error());
        const tvq52::test::CliResult r =
            tvq52::test::runCli({"--home", home.path(), "--device", sim.devicePath(), "identify"});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.err.contains("\"012A45\"")) << qPrintable(r.err);
    }
    const tvq52::test::CliResult missing =
        tvq52::test::runCli({"--home", home.path(), "--device", home.file("no-such-tty"), "identify"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains("no-such-tty")) << qPrintable(missing.err);
}

TEST(CliIdentify, ModemFromTheSettingsNeedsANumber)
{
    tvq52::test::TempHome home;
    ASSERT_EQ(tvq52::test::runCli({"--home", home.path(), "config", "set", "Modem", "1"}).exitCode, 0);
    const tvq52::test::CliResult r = tvq52::test::runCli({"--home", home.path(), "identify"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("no tiene asignado un número de teléfono")) << qPrintable(r.err);
    // --cable and --device override the settings for this run only, also after the command.
    const tvq52::test::CliResult cable =
        tvq52::test::runCli({"--home", home.path(), "identify", "--cable", "--device", home.file("none")});
    EXPECT_TRUE(cable.err.contains("Conectar el PC al TVQ52")) << qPrintable(cable.err);
    EXPECT_TRUE(cable.err.contains(home.file("none"))) << qPrintable(cable.err);
    // The number of --phone is dialled by every command.
    const tvq52::test::CliResult get =
        tvq52::test::runCli({"--home", home.path(), "--device", home.file("none"), "program", "get", "--phone", "555"});
    EXPECT_EQ(get.exitCode, 1);
    EXPECT_TRUE(get.err.contains(QString::fromUtf8("Conectar el módem"))) << qPrintable(get.err);
    EXPECT_EQ(tvq52::test::runCli({"--home", home.path(), "config", "get", "Modem"}).out.trimmed(), "1");
}

TEST(CliUsage, BadCommandsAndKeysAreUsageErrors)
{
    tvq52::test::TempHome home;
    EXPECT_EQ(tvq52::test::runCli({}).exitCode, 2);
    EXPECT_EQ(tvq52::test::runCli({"--home", home.path(), "frobnicate"}).exitCode, 2);
    EXPECT_EQ(tvq52::test::runCli({"--home", home.path(), "--port", "300", "identify"}).exitCode, 2);
    EXPECT_EQ(tvq52::test::runCli({"--home", home.path(), "identify", "now"}).exitCode, 2)
        << "an argument identify does not take";
    const tvq52::test::CliResult phone =
        tvq52::test::runCli({"--home", home.path(), "--modem", "--phone", "555;1\rATS0=1", "identify"});
    EXPECT_EQ(phone.exitCode, 2);
    EXPECT_TRUE(phone.err.contains("dialling characters")) << qPrintable(phone.err);
    const tvq52::test::CliResult key = tvq52::test::runCli({"--home", home.path(), "config", "set", "Password", "x"});
    EXPECT_EQ(key.exitCode, 2);
    EXPECT_TRUE(key.err.contains("SerialDevice"));
    const tvq52::test::CliResult init = tvq52::test::runCli({"--home", home.file("fresh"), "init"});
    EXPECT_EQ(init.exitCode, 0);
    EXPECT_TRUE(QFileInfo::exists(home.file("fresh/tvq52.ini")));
}
