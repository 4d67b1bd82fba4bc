#include "core/application_info.h"
#include "sim_runner.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] ssize_t n = ::write(signalPipe[1], &c, 1);
}

} // namespace

int main(int argc, char** argv)
{
    if (tvq52::asksForVersion(argc, argv)) {
        std::fputs(qPrintable(tvq52::versionLine(QStringLiteral("tvq52-sim"))), stdout);
        return 0;
    }
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tvq52-sim"));

    QString error;
    QString help;
    const auto options = tvq52::sim::parseSimOptions(QCoreApplication::arguments(), &error, &help);
    if (!options) {
        if (error.isEmpty()) {
            std::fputs(help.toLocal8Bit().constData(), stdout);
            return 0;
        }
        std::fprintf(stderr, "tvq52-sim: %s\n", error.toLocal8Bit().constData());
        return 2;
    }

    tvq52::sim::SimRunner runner(*options);
    if (!runner.start(&error)) {
        std::fprintf(stderr, "tvq52-sim: %s\n", error.toLocal8Bit().constData());
        return 1;
    }

    const QString link = options->link;
    if (!link.isEmpty()) {
        const QFileInfo existing(link);
        if (existing.isSymLink() || existing.exists()) {
            if (!existing.isSymLink()) {
                std::fprintf(stderr, "tvq52-sim: %s exists and is not a link; not replacing it\n",
                             link.toLocal8Bit().constData());
                return 1;
            }
            QFile::remove(link);
        }
        if (!QFile::link(runner.devicePath(), link)) {
            std::fprintf(stderr, "tvq52-sim: cannot create the link %s\n", link.toLocal8Bit().constData());
            return 1;
        }
    }

    std::printf("%s\n", runner.devicePath().toLocal8Bit().constData());
    std::fflush(stdout);
    std::fprintf(stderr, "tvq52-sim: unit %s, firmware %s, serial %s%s on %s\n",
                 QByteArray::number(options->unitType).constData(), options->firmwareText().toLatin1().constData(),
                 options->serialText.constData(), options->modem.enabled ? ", behind a modem," : "",
                 (link.isEmpty() ? runner.devicePath() : link).toLocal8Bit().constData());

    // Ends cleanly on Ctrl-C or kill, so that the link goes with it.
    if (::pipe(signalPipe) == 0) {
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
        std::signal(SIGHUP, onSignal);
        auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    }
    const int rc = app.exec();
    if (!link.isEmpty() && QFileInfo(link).isSymLink())
        QFile::remove(link);
    return rc;
}
