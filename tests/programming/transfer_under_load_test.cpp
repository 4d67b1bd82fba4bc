#include "link/clock.h"
#include "link/device_link.h"
#include "link/frame.h"
#include "link/link_timer.h"
#include "link/serial_line.h"
#include "programming/programming_transfer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

using namespace tvq52;

namespace {

// Processes that keep the cores busy while they live. They die with the
// test, and on their own after a minute whatever happens.
class BusyMachine {
public:
    explicit BusyMachine(int processes)
    {
        const pid_t parent = getpid();
        for (int i = 0; i < processes; ++i) {
            const pid_t pid = fork();
            if (pid == 0) {
                prctl(PR_SET_PDEATHSIG, SIGKILL);
                if (getppid() != parent)
                    _exit(0);
                const std::time_t end = std::time(nullptr) + 60;
                for (unsigned long n = 0;; ++n)
                    if ((n & 0xFFFFF) == 0 && std::time(nullptr) > end)
                        _exit(0);
            }
            if (pid > 0)
                pids_.push_back(pid);
        }
    }
    ~BusyMachine()
    {
        for (pid_t pid : pids_)
            kill(pid, SIGKILL);
        for (pid_t pid : pids_)
            waitpid(pid, nullptr, 0);
    }
    BusyMachine(const BusyMachine&) = delete;
    BusyMachine& operator=(const BusyMachine&) = delete;

private:
    std::vector<pid_t> pids_;
};

int tracerPid()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QRegularExpression tracer(QStringLiteral("^TracerPid:\\s*(\\d+)"), QRegularExpression::MultilineOption);
    return tracer.match(QString::fromLatin1(status.readAll())).captured(1).toInt();
}

// One write system call as strace saw it enter.
struct TracedWrite {
    double at = 0; // seconds
    int fd = -1;
    qint64 count = 0;
};

QList<TracedWrite> tracedWrites(const QString& path)
{
    QList<TracedWrite> out;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return out;
    // 1796599676.256674 write(7, "\2", 1) = 1
    const QRegularExpression line(QStringLiteral("^(\\d+\\.\\d+) write\\((\\d+), .*, (\\d+)\\) += "));
    while (!file.atEnd()) {
        const auto m = line.match(QString::fromLatin1(file.readLine()));
        if (m.hasMatch())
            out.append({m.captured(1).toDouble(), m.captured(2).toInt(), m.captured(3).toLongLong()});
    }
    return out;
}

} // namespace

// The programming bytes leave at least 50 ms apart at the write system call
// itself while other processes keep every core busy: traced from outside by
// strace, as the line would see them, not by the program's own clock.
TEST(ProgrammingTransferUnderLoad, BytesReachTheWriteCallFiftyMillisecondsApartOnABusyMachine)
{
    const QString strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
    if (strace.isEmpty())
        GTEST_SKIP() << "strace is not installed";

    // The unit's end: a pseudo-terminal whose master this test reads.
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    termios raw{};
    ASSERT_EQ(tcgetattr(master, &raw), 0);
    cfmakeraw(&raw);
    ASSERT_EQ(tcsetattr(master, TCSANOW, &raw), 0);
    const QString device = QString::fromLocal8Bit(ptsname(master));

    const QByteArray frame = completeFrame(0x08, QByteArray(30, '\x11'));
    QByteArray received;
    QSocketNotifier unit(master, QSocketNotifier::Read);
    QObject::connect(&unit, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0)
            return;
        received.append(buffer, n);
        if (received.size() == frame.size()) {
            const char ack = 0x06;
            (void)!::write(master, &ack, 1);
        }
    });

    SerialLine line;
    line.setDeviceName(device);
    ASSERT_TRUE(line.open());
    Clock& clock = systemClock();
    DeviceLink link({}, line, clock);
    LinkTimer timer(clock, 5000);

    QTemporaryDir dir;
    const QString trace = dir.filePath(QStringLiteral("writes.txt"));
    prctl(PR_SET_PTRACER, PR_SET_PTRACER_ANY);
    QProcess tracer;
    tracer.start(strace,
                 {QStringLiteral("-ttt"), QStringLiteral("-e"), QStringLiteral("trace=write"), QStringLiteral("-o"),
                  trace, QStringLiteral("-p"), QString::number(getpid())});
    ASSERT_TRUE(tracer.waitForStarted(10000));
    QElapsedTimer attaching;
    attaching.start();
    while (tracerPid() == 0 && tracer.state() == QProcess::Running && attaching.elapsed() < 10000)
        QThread::msleep(10);
    if (tracerPid() == 0) {
        tracer.kill();
        tracer.waitForFinished();
        ::close(master);
        GTEST_SKIP() << "strace cannot trace this process: " << tracer.readAllStandardError().toStdString();
    }

    TransmitAnswer answer;
    {
        BusyMachine busy(2 * QThread::idealThreadCount());
        answer = sendProgramming(link, timer, frame);
    }
    tracer.terminate();
    ASSERT_TRUE(tracer.waitForFinished(10000));
    line.close();
    ::close(master);

    EXPECT_EQ(answer, TransmitAnswer::Accepted);
    EXPECT_EQ(received, frame);
    // The frame's bytes: one-byte writes, not to the unit's end of the line.
    QList<double> at;
    for (const TracedWrite& w : tracedWrites(trace))
        if (w.count == 1 && w.fd != master)
            at << w.at;
    ASSERT_EQ(at.size(), frame.size()) << "one write per byte";
    // strace stamps by the wall clock, which time adjustments may slew by up
    // to half a millisecond a second: 25 µs over a pause.
    int closer = 0;
    for (int k = 1; k < at.size() - 1; ++k) {
        const double gapMs = (at[k] - at[k - 1]) * 1000;
        EXPECT_GE(gapMs, 50 - 0.025) << "byte " << k;
        closer += gapMs < 50 - 0.025 ? 1 : 0;
    }
    EXPECT_EQ(closer, 0);
}
