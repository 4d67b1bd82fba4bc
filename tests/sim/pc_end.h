#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <cstdint>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace tvq52::sim {

// The PC's end of an in-process simulator's terminal: raw bytes, the
// simulator's events run while the test waits.
class PcEnd {
public:
    explicit PcEnd(const QString& device)
    {
        fd_ = ::open(device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios t{};
        if (fd_ >= 0 && tcgetattr(fd_, &t) == 0) {
            cfmakeraw(&t);
            tcsetattr(fd_, TCSANOW, &t);
        }
    }
    ~PcEnd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    PcEnd(const PcEnd&) = delete;
    PcEnd& operator=(const PcEnd&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    void write(const QByteArray& bytes) { EXPECT_EQ(::write(fd_, bytes.constData(), size_t(bytes.size())), bytes.size()); }
    void answer(std::uint8_t byte) { write(QByteArray(1, char(byte))); }

    // The next whole frame, or at least `atLeast` bytes of it when asked for
    // fewer; empty after five seconds without.
    QByteArray frame(int atLeast = 0)
    {
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 5000) {
            if (got_.size() >= 3 && !atLeast) {
                const int length = (std::uint8_t(got_[1]) << 8) | std::uint8_t(got_[2]);
                if (got_.size() >= length) {
                    const QByteArray f = got_.left(length);
                    got_.remove(0, length);
                    return f;
                }
            } else if (atLeast && got_.size() >= atLeast) {
                const QByteArray part = got_;
                got_.clear();
                return part;
            }
            pump(1);
        }
        return {};
    }
    // Everything received once `text` has come, or all so far after `ms`;
    // either way taken.
    QByteArray until(const QByteArray& text, int ms = 5000)
    {
        QElapsedTimer waited;
        waited.start();
        while (!got_.contains(text) && waited.elapsed() < ms)
            pump(1);
        const QByteArray all = got_;
        got_.clear();
        return all;
    }
    // Runs the simulator for a while.
    void settle(int ms)
    {
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < ms)
            pump(1);
    }

private:
    void pump(int ms)
    {
        QCoreApplication::processEvents();
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, ms) > 0 && (p.revents & POLLIN)) {
            char buf[512];
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n > 0)
                got_.append(buf, n);
        }
    }

    int fd_ = -1;
    QByteArray got_;
};

} // namespace tvq52::sim
