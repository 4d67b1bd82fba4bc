#include "pty_port.h"

#include "timing_log.h"

#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace tvq52::sim {

namespace {

// 19200 bit/s with start and stop bits: 1920 bytes a second.
constexpr double kBytesPerMs = 1.92;
constexpr int kPeerPollMs = 20;
// Paced bytes go out in batches of this many milliseconds, and the last
// ones of a frame as soon as the line would have carried them.
constexpr int kPaceBatchMs = 5;

void makeRaw(int fd)
{
    termios t{};
    if (tcgetattr(fd, &t) == 0) {
        cfmakeraw(&t);
        cfsetispeed(&t, B19200);
        cfsetospeed(&t, B19200);
        tcsetattr(fd, TCSANOW, &t);
    }
}

} // namespace

PtyPort::PtyPort(bool paced, QObject* parent) : QObject(parent), paced_(paced)
{
    peerPoll_.setInterval(kPeerPollMs);
    connect(&peerPoll_, &QTimer::timeout, this, &PtyPort::checkPeer);
    drainTimer_.setTimerType(Qt::PreciseTimer);
    drainTimer_.setSingleShot(true);
    connect(&drainTimer_, &QTimer::timeout, this, &PtyPort::drain);
}

PtyPort::~PtyPort()
{
    if (master_ >= 0)
        ::close(master_);
}

bool PtyPort::open(QString* error)
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        *error =
            QStringLiteral("cannot create a pseudo-terminal: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    slavePath_ = QString::fromLocal8Bit(ptsname(master_));
    // Raw before anything is written, or the terminal echoes and mangles bytes.
    makeRaw(master_);
    const int slave = ::open(ptsname(master_), O_RDWR | O_NOCTTY);
    if (slave >= 0) {
        makeRaw(slave);
        ::close(slave);
    }
    readNotifier_ = std::make_unique<QSocketNotifier>(master_, QSocketNotifier::Read);
    readNotifier_->setEnabled(false);
    connect(readNotifier_.get(), &QSocketNotifier::activated, this, &PtyPort::readMaster);
    peerPoll_.start();
    return true;
}

void PtyPort::checkPeer()
{
    pollfd p{master_, POLLIN, 0};
    if (::poll(&p, 1, 0) < 0 || (p.revents & POLLHUP))
        return;
    // The PC opened the port: read from it again.
    peerPoll_.stop();
    peer_ = true;
    readNotifier_->setEnabled(true);
    emit peerOpened();
}

void PtyPort::lostPeer()
{
    // With no slave open the master reads EIO at once; watching it would
    // spin, so poll for the next open instead.
    readNotifier_->setEnabled(false);
    outbox_.clear();
    marks_.clear();
    sentBytes_ = queuedBytes_;
    drainTimer_.stop();
    const bool was = peer_;
    peer_ = false;
    peerPoll_.start();
    if (was)
        emit peerClosed();
}

void PtyPort::readMaster()
{
    QByteArray got;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n > 0) {
            if (got.isEmpty())
                lastReadUs_ = monotonicUs();
            got.append(buf, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            break;
        if (!got.isEmpty())
            emit received(got);
        lostPeer();
        return;
    }
    if (!got.isEmpty())
        emit received(got);
}

void PtyPort::send(const QByteArray& bytes, std::function<void(qint64 us)> written)
{
    if (!peer_ || bytes.isEmpty())
        return;
    if (outbox_.isEmpty()) {
        pacing_.start();
        credit_ = paced_ ? 1.0 : 0.0;
    }
    outbox_ += bytes;
    queuedBytes_ += bytes.size();
    if (written)
        marks_.push_back(Mark{queuedBytes_, std::move(written)});
    drain();
}

void PtyPort::sent(qint64 n)
{
    outbox_.remove(0, n);
    credit_ -= double(n);
    sentBytes_ += n;
    if (marks_.empty() || marks_.front().end > sentBytes_)
        return;
    const qint64 at = monotonicUs();
    while (!marks_.empty() && marks_.front().end <= sentBytes_) {
        const Mark done = std::move(marks_.front());
        marks_.pop_front();
        done.written(at);
    }
}

void PtyPort::drain()
{
    if (outbox_.isEmpty()) {
        drainTimer_.stop();
        return;
    }
    qint64 allowed = outbox_.size();
    if (paced_) {
        credit_ += double(pacing_.nsecsElapsed()) / 1e6 * kBytesPerMs;
        pacing_.restart();
        allowed = std::min<qint64>(allowed, qint64(credit_));
    }
    if (allowed > 0) {
        const ssize_t n = ::write(master_, outbox_.constData(), size_t(allowed));
        if (n > 0) {
            sent(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            lostPeer();
            return;
        }
    }
    if (outbox_.isEmpty()) {
        drainTimer_.stop();
        return;
    }
    if (!paced_) {
        drainTimer_.start(2); // the terminal is full: try again shortly
        return;
    }
    // Whole milliseconds until the next batch is due: a 60-byte frame ends
    // 31 ms after its first byte, not at the next 5 ms step (35 ms), so the
    // time a frame takes does not hang on how late a step fires.
    const double due = std::min(double(outbox_.size()), kBytesPerMs * kPaceBatchMs) - credit_;
    drainTimer_.start(std::max(1, int(std::ceil(due / kBytesPerMs))));
}

} // namespace tvq52::sim
