#include "cli/cli_run.h"
#include "support/temp_home.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A UDP port nobody uses now, for the modem's IAX side.
int freeUdpPort()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) == 0)
        port = ntohs(a.sin_port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

// iaxmodem reads its configuration only from /etc/iaxmodem/NAME: a unique
// name, removed again, keeps other runs and a configured system apart.
struct ModemConfig {
    QString name = QStringLiteral("tvq52-test-%1").arg(QCoreApplication::applicationPid());
    QString path = QStringLiteral("/etc/iaxmodem/") + name;
    ~ModemConfig() { QFile::remove(path); }
};

} // namespace

// A Hayes command interpreter nobody here wrote, on a pty, with no telephone
// line behind it: the dial never connects, so identify gives up with 35.
TEST(RealModem, ADialThatNeverConnectsEndsIn35WithExitStatus1)
{
    // Where the set-up installed the modem (CI, tools/setup.sh test) it must run.
    const bool required = qEnvironmentVariableIsSet("CI") || qEnvironmentVariableIsSet("TVQ52_REQUIRE_REAL_MODEM");
    const QString program = QStandardPaths::findExecutable(QStringLiteral("iaxmodem"), {"/usr/bin", "/usr/sbin"});
    if (program.isEmpty()) {
        if (required)
            FAIL() << "iaxmodem is not installed (tools/setup.sh installs it)";
        GTEST_SKIP() << "iaxmodem is not installed";
    }
    ModemConfig config;
    tvq52::test::TempHome home;
    const QString device = home.file("ttyIAX");
    QFile file(config.path);
    if (!QDir().mkpath(QStringLiteral("/etc/iaxmodem")) || !file.open(QIODevice::WriteOnly)) {
        if (required)
            FAIL() << "cannot write " << qPrintable(config.path);
        GTEST_SKIP() << "cannot write " << qPrintable(config.path) << " (iaxmodem runs as root)";
    }
    const int port = freeUdpPort();
    ASSERT_GT(port, 0);
    file.write(QStringLiteral("device %1\nowner root:root\nmode 660\nport %2\nrefresh 0\nserver 127.0.0.1\n"
                              "peername iaxmodem\nsecret password\ncodec slinear\n")
                   .arg(device)
                   .arg(port)
                   .toUtf8());
    file.close();

    QProcess modem;
    modem.setWorkingDirectory(home.path());
    modem.start(program, {config.name});
    ASSERT_TRUE(modem.waitForStarted(5000)) << qPrintable(modem.errorString());
    for (int k = 0; k < 50 && !QFileInfo::exists(device) && modem.state() == QProcess::Running; ++k)
        modem.waitForFinished(100);
    ASSERT_TRUE(QFileInfo::exists(device)) << modem.readAll().constData();

    QElapsedTimer took;
    took.start();
    // Ten times fast: the modem answers at once, only the program's own waits shrink.
    const tvq52::test::CliResult r =
        tvq52::test::runCli({"--home", home.file("data"), "identify", "--modem", "--device", device, "--phone", "555",
                             "--yes", "--clock-speed", "10"},
                            60000);
    const qint64 tenthsOfSeconds = took.elapsed() / 100;
    modem.terminate();
    if (!modem.waitForFinished(3000))
        modem.kill();

    EXPECT_EQ(r.exitCode, 1) << qPrintable(r.err);
    EXPECT_TRUE(r.err.contains(QString::fromUtf8("Error en la conexión telefónica"))) << qPrintable(r.err);
    EXPECT_TRUE(r.out.isEmpty()) << qPrintable(r.out);
    EXPECT_GE(tenthsOfSeconds, 60) << "the whole wait for an answer that never comes";
}
