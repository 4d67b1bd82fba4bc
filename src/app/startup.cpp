#include "app/startup.h"

#include "app/app_context.h"
#include "app/command_line.h"
#include "app/data_folder.h"
#include "app/language_table.h"
#include "app/settings.h"
#include "core/catalogue_ids.h"
#include "core/prompter.h"
#include "i18n/catalogue_message.h"
#include "i18n/language_setup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tvq52 {

namespace {

struct StartupFault {
    QString description;
};

void steps(AppContext& ctx, Prompter& prompter, StartupHost& host, const QString& commandLine)
{
    ctx.link.ModemConnected = false;

    QString languageValue;
    if (auto fault = readStartupSettings(ctx, &languageValue))
        throw StartupFault{*fault};

    const LanguageInfo& language = languageByLocaleId(languageValue);
    ctx.languageName = QString::fromUtf8(language.name);
    ctx.LanguageCodeValue = language.code;

    SetupLanguage(ctx.guru, prompter, languageDatabasePath(ctx.home), ctx.languageName, ctx.home);
    ctx.LanguageCodeValue = LanguageCode(ctx.languageName);

    ctx.link.StopRequested = false;

    ctx.db.reset();
    QString error;
    ctx.db = Database::openSqlite(databasePath(ctx.home), &error);
    if (!ctx.db)
        throw StartupFault{error};
    const QString missing = ctx.db->verifySchema();
    if (!missing.isEmpty()) {
        ctx.db.reset();
        throw StartupFault{QStringLiteral("La base de datos %1 no tiene: %2").arg(databasePath(ctx.home), missing)};
    }

    host.setCaption(QString::fromLatin1(kApplicationTitle));

    if (!host.isSmallFontsScreen())
        showCatalogue(prompter, ctx.guru, msg::LargeFonts, MessageStyle::Critical);

    host.translateMainWindow();

    const QString marker = restoreMarkerPath(ctx.home);
    if (QFileInfo(marker).isFile()) {
        host.showMainWindow();
        host.setImportPanelVisible(true);
        // The marker is the database to restore; it goes only once merged.
        // A failed restore has been told and keeps the marker for another
        // try; start-up goes on.
        const bool merged = host.mergeDatabase(marker);
        host.setImportPanelVisible(false);
        if (merged)
            QFile::remove(marker);
    }

    ctx.CommandLineFile = GetCommandLineFile(commandLine);
    if (!ctx.CommandLineFile.isEmpty()) {
        if (isExchangeFileName(ctx.CommandLineFile)) {
            ctx.SelectedFile = ctx.CommandLineFile;
            host.openImportWindow();
            ctx.SelectedFile.clear();
        } else {
            host.openProgrammingWindow();
        }
    }
}

} // namespace

void runStartup(AppContext& ctx, Prompter& prompter, StartupHost& host, const QString& commandLine)
{
    try {
        steps(ctx, prompter, host, commandLine);
    } catch (const StartupFault& fault) {
        prompter.message(
            Message{fault.description, QString::fromLatin1(kApplicationTitle), MessageStyle::Critical, 0, {}});
    }
    host.showMainWindow();
}

} // namespace tvq52
