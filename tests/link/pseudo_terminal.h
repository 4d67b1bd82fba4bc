#pragma once

#include <QByteArray>
#include <QString>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace tvq52::test {

// A raw pseudo-terminal of the test's own: the code under test opens the
// slave, the test reads the master as the unit would.
struct PseudoTerminal {
    int master = -1;
    QString slave;
    PseudoTerminal()
    {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
            return;
        slave = QString::fromLocal8Bit(::ptsname(master));
        termios t{};
        if (tcgetattr(master, &t) == 0) {
            cfmakeraw(&t);
            tcsetattr(master, TCSANOW, &t);
        }
    }
    ~PseudoTerminal()
    {
        if (master >= 0)
            ::close(master);
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;
    // What has arrived, without waiting.
    QByteArray arrived() const
    {
        QByteArray got;
        char buf[4096];
        for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0;)
            got.append(buf, n);
        return got;
    }
};

} // namespace tvq52::test
