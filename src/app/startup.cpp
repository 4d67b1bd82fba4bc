#include "app/startup.h"

#include "app/app_context.h"
#include "app/command_line.h"
#include "app/data_folder.h"
#include "app/database_opening.h"
#include "app/language_table.h"
#include "app/settings.h"
#include "app/signing_settings.h"
#include "core/catalogue_ids.h"
#include "core/own_words.h"
#include "core/prompter.h"
#include "exchange/exchange_format.h"
#include "i18n/catalogue_message.h"
#include "i18n/language_setup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tvq52 {

namespace {

// A step that failed: its text, already in the user's language, is shown
// once when start-up ends.
Error startupFault(QString description)
{
    return finalText(std::move(description));
}

// The user gave up on reaching the records: nothing more to say.
Error startupCancelled()
{
    return Error();
}

// What start-up tells of records it could not open, in the user's words;
// the user giving up on choosing is no fault to tell.
Status recordsFault(const Translator& translator, const Status& opened)
{
    const bool gaveUp = !opened && opened.error().catalogueId == 0 && opened.error().text.isEmpty()
        && opened.error().detail.isEmpty();
    if (opened || gaveUp)
        return opened;
    // Translated texts break lines as CR LF; the message takes LF.
    return startupFault(errorText(translator, opened.error()).replace(QLatin1String("\r\n"), QLatin1String("\n")));
}

Status steps(AppContext& ctx, Prompter& prompter, StartupHost& host, const QString& commandLine)
{
    const Result<QString> languageValue = readStartupSettings(ctx);
    if (!languageValue)
        return startupFault(untranslatedText(languageValue.error()));
    configureSigning(ctx.home);

    const LanguageInfo& language = languageByLocaleId(*languageValue);
    ctx.languageName = QString::fromUtf8(language.name);
    ctx.LanguageCodeValue = language.code;

    setUpLanguage(ctx.translator, prompter, languageDatabaseToRead(ctx.home, findAssetFolder()), ctx.languageName, ctx.home);
    ctx.LanguageCodeValue = LanguageCode(ctx.languageName);
    host.languageChosen(ctx.LanguageCodeValue);

    // After a failure with a server the user may change the choice (or go
    // back to the data folder's file) and try again.
    const auto chooseAgain = [&host](const QString& why) { return host.chooseDatabase(why); };
    if (Status opened = openRecords(ctx, prompter, {SchemaPolicy::Ask, DatabaseAccess::ReadWrite, {}, chooseAgain});
        !opened)
        return recordsFault(ctx.translator, opened);

    host.setCaption(QString::fromLatin1(kApplicationTitle));

    if (!host.isSmallFontsScreen())
        showCatalogue(prompter, ctx.translator, msg::LargeFonts, MessageStyle::Critical);

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
        // The merge has closed the file by now; reading it left its log
        // and shared memory beside it, which go with it.
        if (merged)
            for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
                QFile::remove(marker + suffix);
    }

    ctx.CommandLineFile = GetCommandLineFile(commandLine);
    openCommandLineFile(ctx, host);
    return {};
}

} // namespace

void openCommandLineFile(AppContext& ctx, StartupHost& host)
{
    if (ctx.CommandLineFile.isEmpty())
        return;
    if (isExchangeFileName(ctx.CommandLineFile)) {
        ctx.SelectedFile = ctx.CommandLineFile;
        host.openImportWindow();
        ctx.SelectedFile.clear();
    } else {
        host.openProgrammingWindow();
    }
}

bool runStartup(AppContext& ctx, Prompter& prompter, StartupHost& host, const QString& commandLine)
{
    if (const Status done = steps(ctx, prompter, host, commandLine); !done) {
        if (done.error().catalogueId == startupCancelled().catalogueId)
            return false;
        prompter.message(Message{
            untranslatedText(done.error()), QString::fromLatin1(kApplicationTitle), MessageStyle::Critical, 0, {}});
    }
    host.showMainWindow();
    return true;
}

} // namespace tvq52
