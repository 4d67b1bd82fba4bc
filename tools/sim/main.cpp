#include "app/app_context.h"
#include "app/command_line.h"
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

// A symbolic link `link` to the terminal `device`, replacing an old link only.
bool makeLink(const QString& device, const QString& link)
{
    const QFileInfo existing(link);
    if (existing.isSymLink() || existing.exists()) {
        if (!existing.isSymLink()) {
            std::fprintf(stderr, "tvq52-sim: %s exists and is not a link; not replacing it\n",
                         link.toLocal8Bit().constData());
            return false;
        }
        QFile::remove(link);
    }
    if (!QFile::link(device, link)) {
        std::fprintf(stderr, "tvq52-sim: cannot create the link %s\n", link.toLocal8Bit().constData());
        return false;
    }
    return true;
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
    std::optional<tvq52::Error> why;
    const auto options = tvq52::sim::parseSimOptions(QCoreApplication::arguments(), &error, nullptr, &why);
    if (!options) {
        // The simulator has no data folder of its own: it speaks the language of the user's.
        if (!why) {
            const auto ctx = tvq52::languageOnly(QString());
            const auto translate = [&](const QString& text) { return ctx->translator.translate(text); };
            std::fputs(tvq52::sim::simHelp(translate).toLocal8Bit().constData(), stdout);
            return 0;
        }
        std::fprintf(stderr, "%s\n",
                     tvq52::refusalLine(QStringLiteral("tvq52-sim"), QString(), *why).toLocal8Bit().constData());
        return 2;
    }

    tvq52::sim::SimRunner runner(*options);
    if (!runner.start(&error)) {
        std::fprintf(stderr, "tvq52-sim: %s\n", error.toLocal8Bit().constData());
        return 1;
    }

    // Ends cleanly on Ctrl-C or kill, so that the links go with it: set before
    // the paths are printed, since a script may stop it as soon as it reads them.
    if (::pipe(signalPipe) == 0) {
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
        std::signal(SIGHUP, onSignal);
        auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    }
    // One line keeps PATH itself; several make PATH-1..PATH-N.
    const QStringList devices = runner.devicePaths();
    QStringList links;
    for (int k = 0; k < devices.size() && !options->link.isEmpty(); ++k)
        links << (devices.size() == 1 ? options->link : QStringLiteral("%1-%2").arg(options->link).arg(k + 1));
    for (int k = 0; k < links.size(); ++k) {
        if (!makeLink(devices[k], links[k])) {
            for (int made = 0; made < k; ++made)
                QFile::remove(links[made]);
            return 1;
        }
    }

    for (const QString& device : devices)
        std::printf("%s\n", device.toLocal8Bit().constData());
    std::fflush(stdout);
    const QString where = devices.size() == 1 ? (links.isEmpty() ? devices.front() : links.front())
                                              : QStringLiteral("%1 lines").arg(devices.size());
    std::fprintf(stderr, "tvq52-sim: unit %s, firmware %s, serial %s%s on %s\n",
                 QByteArray::number(options->unitType).constData(), options->firmwareText().toLatin1().constData(),
                 options->serialText.constData(), options->modem.enabled ? ", behind a modem," : "",
                 where.toLocal8Bit().constData());

    const int rc = app.exec();
    for (const QString& link : links)
        if (QFileInfo(link).isSymLink())
            QFile::remove(link);
    return rc;
}
