#include "app/app_context.h"
#include "app/command_line.h"
#include "app/data_folder.h"
#include "app/gui/application_shell.h"
#include "app/gui/desktop_icons.h"
#include "app/gui/single_instance.h"
#include "core/application_info.h"
#include "core/own_words.h"
#include "i18n/catalogue_message.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
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
    // Answered before the windows' application starts: no display is needed to read the usage.
    const tvq52::CommandLine cl = tvq52::parseCommandLine(argc, argv);
    if (cl.fault || cl.help) {
        // In the user's language: the language database is read through Qt's
        // SQL plugins, which want an application, though not a display.
        QCoreApplication words(argc, argv);
        const std::unique_ptr<tvq52::AppContext> ctx = tvq52::languageOnly(cl.home);
        const QString usage =
            tvq52::commandLineUsage([&](const QString& text) { return ctx->translator.translate(text); });
        if (!cl.fault) {
            std::fputs(qPrintable(usage), stdout);
            return 0;
        }
        std::fprintf(stderr, "tvq52: %s\n%s", qPrintable(tvq52::errorText(ctx->translator, *cl.fault)), qPrintable(usage));
        return 2;
    }
    if (cl.version) {
        std::fputs(qPrintable(tvq52::versionLine(QStringLiteral("tvq52"))), stdout);
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tvq52"));
    QApplication::setOrganizationName(QStringLiteral("tvq52"));
    QApplication::setApplicationVersion(QStringLiteral(TVQ52_VERSION));
    // Ties the windows to the installed desktop entry (its name and icon).
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tvq52.Manager"));
    QApplication::setWindowIcon(tvq52::applicationIcon());
    QApplication::setQuitOnLastWindowClosed(false);
    FirstPaintProbe probe;
    if (qEnvironmentVariableIsSet("TVQ52_STARTUP_PROBE"))
        app.installEventFilter(&probe);

    const tvq52::DataFolderChoice folder = tvq52::chooseDataFolder(cl.home);
    // There before it is claimed, so that its name is its real path from the first start on.
    QDir().mkpath(folder.folder);
    // A program already running on this data folder takes the argument.
    tvq52::SingleInstance instance(folder.folder);
    switch (instance.claim()) {
    case tvq52::SingleInstance::Claim::Taken:
        break;
    case tvq52::SingleInstance::Claim::HeldElsewhere:
        // The running program works in its own folder: a relative file name is made whole here.
        if (instance.handOver(tvq52::handOverArgument(cl.argument, QDir::currentPath())))
            return 0;
        QMessageBox::critical(nullptr, QString::fromLatin1(tvq52::kApplicationTitle),
                              QStringLiteral("%1 (%2)").arg(folder.folder, instance.errorString()));
        return 1;
    case tvq52::SingleInstance::Claim::Unavailable:
        // Rather than a socket others could reach, this program runs on its own.
        qWarning("tvq52: later starts open programs of their own: %s", qPrintable(instance.errorString()));
        break;
    }
    QStringList settingsAdded;
    const tvq52::Result<bool> provisioned = tvq52::provisionDataFolder(folder.folder, &settingsAdded);
    if (!provisioned) {
        QMessageBox::critical(nullptr, QString::fromLatin1(tvq52::kApplicationTitle),
                              tvq52::untranslatedText(provisioned.error()));
        return 1;
    }

    tvq52::ApplicationShell shell(folder.folder, cl.argument);
    if (!cl.database.isNull())
        shell.context().databaseOverride = cl.database;
    shell.setFormerFolder(folder.former);
    shell.setSettingsAdded(settingsAdded);
    QObject::connect(&instance, &tvq52::SingleInstance::received, &shell, &tvq52::ApplicationShell::openArgument);
    QObject::connect(&shell, &tvq52::ApplicationShell::finished, &app, &QApplication::quit, Qt::QueuedConnection);
    shell.start();
    return app.exec();
}
