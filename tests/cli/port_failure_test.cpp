#include "cli_run.h"
#include "link/serial_line.h"
#include "support/file_bytes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using tvq52::test::CliResult;
using tvq52::test::CliRuns;

namespace {

const QString kTransmissionError = QStringLiteral("Error en la transmisión de datos");

} // namespace

// The three reasons a port cannot be opened, each told apart in the
// message, in the user's language, instead of the transmission error.
TEST(PortFailures, AMissingDeviceSaysToCheckTheCable)
{
    CliRuns cli;
    const QString missing = cli.home.file("ttyUSB7");
    const CliResult r = cli({"--device", missing, "identify"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("El puerto %1 no existe. Compruebe que el cable").arg(missing)))
        << qPrintable(r.err);
    EXPECT_FALSE(r.err.contains(kTransmissionError)) << qPrintable(r.err);
}

TEST(PortFailures, APortHeldByAnotherProgramNamesTheProgram)
{
    CliRuns cli;
    cli.startSim({});
    tvq52::SerialLine holder;
    holder.setDeviceName(cli.sim->devicePath());
    ASSERT_TRUE(holder.open());

    const CliResult r = cli.onSim({"identify"});
    EXPECT_EQ(r.exitCode, 1);
    // This test program holds it; the kernel truncates its name to 15 bytes.
    const QString name = QString::fromLocal8Bit(tvq52::test::readBytes(QStringLiteral("/proc/self/comm")).trimmed());
    EXPECT_TRUE(r.err.contains(QStringLiteral("El puerto %1 está ocupado por otro programa (%2, proceso %3)")
                                   .arg(cli.sim->devicePath(), name)
                                   .arg(::getpid())))
        << qPrintable(r.err);
    EXPECT_FALSE(r.err.contains(kTransmissionError)) << qPrintable(r.err);

    // Once it lets go, the port works.
    holder.close();
    const CliResult freed = cli.onSim({"identify"});
    EXPECT_EQ(freed.exitCode, 0) << qPrintable(freed.err);
}

// Run as root (as CI does), the program runs as "nobody" on a device root
// keeps to itself, then on one of the dialout group; run as a user, on a
// device the user shut to itself.
TEST(PortFailures, APortTheUserMayNotUseSaysWhoMayAndWhatToDo)
{
    const bool root = ::geteuid() == 0;
    const QString user = root ? QStringLiteral("nobody") : QString::fromLocal8Bit(::getpwuid(::getuid())->pw_name);
    ASSERT_TRUE(!root || ::getpwnam("nobody")) << "no user nobody to run as";
    const group* dialout = ::getgrnam("dialout");

    // The program laid out as installed in a folder every user may enter (the
    // build may lie where others cannot), and a data folder it may write.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto open = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther
        | QFileDevice::ExeOther;
    ASSERT_TRUE(QFile::setPermissions(dir.path(), open));
    ASSERT_TRUE(QDir(dir.path()).mkpath("bin") && QDir(dir.path()).mkpath("share") && QDir(dir.path()).mkpath("home"));
    const QString program = dir.filePath("bin/tvq52-cli");
    ASSERT_TRUE(QFile::copy(QStringLiteral(TVQ52_BIN_DIR "/tvq52-cli"), program));
    ASSERT_EQ(QProcess::execute("cp", {"-R", QStringLiteral(TVQ52_ASSET_DIR), dir.filePath("share/tvq52")}), 0);
    ASSERT_EQ(QProcess::execute("chmod", {"-R", "a+rX", dir.path()}), 0);
    ASSERT_TRUE(QFile::setPermissions(dir.filePath("home"), open | QFileDevice::WriteOther));
    const QString home = dir.filePath("home/data");
    auto run = [&](const QStringList& args) {
        QStringList command{program, "--home", home};
        command += args;
        if (root)
            command = QStringList{"runuser", "-u", user, "--"} + command;
        QProcess p;
        p.setStandardInputFile(QProcess::nullDevice());
        p.start(command.takeFirst(), command);
        EXPECT_TRUE(p.waitForFinished(30000));
        return CliResult{p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                         QString::fromUtf8(p.readAllStandardError())};
    };
    const CliResult init = run({"init"});
    ASSERT_EQ(init.exitCode, 0) << qPrintable(init.err);

    CliRuns cli;
    cli.startSim({});
    const QByteArray device = QFile::encodeName(cli.sim->devicePath());

    const struct {
        const char* what;
        mode_t mode;
        gid_t group;
        QString says;
    } cases[] = {
        {"kept to its owner", 0600, root ? 0 : ::getgid(),
         QStringLiteral("El usuario %1 no tiene permiso para usar el puerto %2").arg(user, cli.sim->devicePath())},
        {"for the dialout group", 0660, dialout ? dialout->gr_gid : 0,
         QStringLiteral("solo pueden los miembros del grupo dialout. Añádalo con «sudo adduser %1 dialout» y vuelva "
                        "a iniciar la sesión")
             .arg(user)},
    };
    for (const auto& c : cases) {
        // Only root can hand the device to another group, and only root is shut out by mode 0600
        // as another user; a user shuts itself out with mode 0.
        if (!root && c.mode == 0660)
            continue;
        ASSERT_TRUE(!root || dialout) << "no group dialout";
        ASSERT_EQ(::chown(device.constData(), ::geteuid(), c.group), 0) << c.what;
        ASSERT_EQ(::chmod(device.constData(), root ? c.mode : 0), 0) << c.what;
        const CliResult r = run({"--device", cli.sim->devicePath(), "identify"});
        EXPECT_EQ(r.exitCode, 1) << c.what;
        EXPECT_TRUE(r.err.contains(c.says)) << c.what << ": " << qPrintable(r.err);
        EXPECT_FALSE(r.err.contains(kTransmissionError)) << qPrintable(r.err);
    }
}

// /dev/null is a character device that every shell has open: it is no
// serial port, and nobody holds it.
TEST(PortFailures, ADeviceThatIsNoSerialPortIsToldApart)
{
    CliRuns cli;
    for (const QString& device : {QStringLiteral("/dev/null"), QStringLiteral(TVQ52_ASSET_DIR "/Language.db")}) {
        const CliResult r = cli({"--device", device, "identify"});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.err.contains(QStringLiteral("%1 no es un puerto serie.").arg(device))) << qPrintable(r.err);
        EXPECT_FALSE(r.err.contains(QStringLiteral("ocupado"))) << qPrintable(r.err);
        EXPECT_FALSE(r.err.contains(kTransmissionError)) << qPrintable(r.err);
    }
}

// A relative device path is taken from the folder the command runs in.
TEST(PortFailures, ARelativeDevicePathIsTakenFromTheCurrentFolder)
{
    CliRuns cli;
    ASSERT_EQ(cli({"init"}).exitCode, 0);
    cli.startSim({});
    ASSERT_TRUE(QDir(cli.home.path()).mkpath(QStringLiteral("links")));
    ASSERT_TRUE(QFile::link(cli.sim->devicePath(), cli.home.file(QStringLiteral("ttysim"))));
    ASSERT_TRUE(QFile::link(cli.sim->devicePath(), cli.home.file(QStringLiteral("links/ttysim"))));
    for (const QString& device : {QStringLiteral("ttysim"), QStringLiteral("links/ttysim")}) {
        QProcess p;
        p.setStandardInputFile(QProcess::nullDevice());
        p.setWorkingDirectory(cli.home.path());
        p.start(QStringLiteral(TVQ52_BIN_DIR "/tvq52-cli"),
                {"--home", cli.home.path(), "--device", device, "identify"});
        ASSERT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitCode(), 0) << qPrintable(device + ": " + QString::fromUtf8(p.readAllStandardError()));
    }
}
