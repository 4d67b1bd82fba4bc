#include "app/command_line.h"
#include "app/data_folder.h"
#include "app/gui/application_shell.h"
#include "core/application_info.h"
#include "core/own_words.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>

namespace {

// With TVQ52_STARTUP_PROBE set, the program says on stdout when the main
// window has first been painted, and ends: the start-up benchmark times a
// start as a user sees it, from the process's start to the window drawn.
class FirstPaintProbe : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !seen_ && watched->objectName() == QLatin1String("Form1")) {
            seen_ = true;
            // Queued, so the line goes out once this paint is done.
            QTimer::singleShot(0, qApp, [] {
                std::fputs("first paint\n", stdout);
                std::fflush(stdout);
                QApplication::exit(0);
            });
        }
        return false;
    }

private:
    bool seen_ = false;
};

} // namespace

int main(int argc, char** argv)
{
    if (tvq52::asksForVersion(argc, argv)) {
        std::fputs(qPrintable(tvq52::versionLine(QStringLiteral("tvq52"))), stdout);
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tvq52"));
    QApplication::setOrganizationName(QStringLiteral("tvq52"));
    QApplication::setApplicationVersion(QStringLiteral(TVQ52_VERSION));
    // Ties the windows to the installed desktop entry (its name and icon).
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tvq52.Manager"));
    QApplication::setQuitOnLastWindowClosed(false);
    FirstPaintProbe probe;
    if (qEnvironmentVariableIsSet("TVQ52_STARTUP_PROBE"))
        app.installEventFilter(&probe);

    const tvq52::CommandLine cl = tvq52::parseCommandLine(QApplication::arguments());
    if (cl.help || !cl.error.isEmpty()) {
        std::fprintf(cl.help ? stdout : stderr,
                     "%s%sUsage: tvq52 [--home DIR] [--database URI] [EXCHANGE_FILE.TQ52 | SERIAL_NUMBER]\n"
                     "  --home DIR       data folder (default: $TVQ52_HOME, else the per-user data folder)\n"
                     "  --database URI   records on a PostgreSQL server for this run:\n"
                     "                   postgresql://user@host:port/database (no password in it)\n"
                     "  --version        print the version and exit\n",
                     qPrintable(cl.error), cl.error.isEmpty() ? "" : "\n");
        return cl.help ? 0 : 2;
    }

    const QString home = tvq52::resolveDataFolder(cl.home);
    const tvq52::Result<bool> provisioned = tvq52::provisionDataFolder(home, tvq52::findAssetFolder());
    if (!provisioned) {
        QMessageBox::critical(nullptr, QStringLiteral("TVQ-52"), tvq52::untranslatedText(provisioned.error()));
        return 1;
    }

    tvq52::ApplicationShell shell(home, cl.argument);
    if (!cl.database.isNull())
        shell.context().databaseOverride = cl.database;
    QObject::connect(&shell, &tvq52::ApplicationShell::finished, &app, &QApplication::quit, Qt::QueuedConnection);
    shell.start();
    return app.exec();
}
