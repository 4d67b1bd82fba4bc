#include "app/command_line.h"

#include "app/app_context.h"
#include "app/data_folder.h"
#include "app/ini_file.h"
#include "app/language_table.h"
#include "app/settings.h"
#include "core/command_line_parser.h"
#include "core/own_words.h"
#include "core/prompter.h"
#include "i18n/catalogue_message.h"
#include "i18n/language_setup.h"

#include <QFileInfo>
#include <array>
#include <cstdio>

namespace tvq52 {

QString GetCommandLineFile(const QString& commandLine)
{
    QString s = commandLine.trimmed();
    for (int quotes = 0; quotes < 2; ++quotes) {
        const int at = s.indexOf(QLatin1Char('"'));
        if (at < 0)
            break;
        s.remove(at, 1);
    }
    return s;
}

CommandLine parseCommandLine(const QStringList& arguments)
{
    static const std::array<OptionSpec, 4> options{{{QStringLiteral("--home"), QStringLiteral("DIR")},
                                                    {QStringLiteral("--database"), QStringLiteral("URI")},
                                                    {QStringLiteral("--help"), {}, QStringLiteral("-h")},
                                                    {QStringLiteral("--version"), {}}}};
    const ParsedWords parsed = parseWords(arguments.mid(1), options);
    CommandLine result;
    result.home = parsed.value(QStringLiteral("--home"));
    result.database = parsed.value(QStringLiteral("--database"));
    result.help = parsed.isSet(QStringLiteral("--help"));
    result.version = parsed.isSet(QStringLiteral("--version"));
    result.fault = parsed.fault;
    if (parsed.fault)
        result.error = untranslatedText(*parsed.fault);
    else
        result.argument = parsed.arguments.join(QLatin1Char(' '));
    return result;
}

CommandLine parseCommandLine(int argc, const char* const* argv)
{
    return parseCommandLine(argumentsOf(argc, argv));
}

QString commandLineUsage()
{
    return QStringLiteral(
        "Usage: tvq52 [--home DIR] [--database URI] [--] [EXCHANGE_FILE.TQ52 | SERIAL_NUMBER]\n"
        "  --home DIR       data folder (default: $TVQ52_HOME, else ~/.local/share/tvq52)\n"
        "  --database URI   records on a PostgreSQL server for this run:\n"
        "                   postgresql://user@host:port/database (no password in it)\n"
        "  --help           print this and exit\n"
        "  --version        print the version and exit\n"
        "An exchange file is imported; a serial number opens that unit's programming.\n"
        "While the program runs on the same data folder, either goes to its window.\n");
}

std::unique_ptr<AppContext> languageOnly(const QString& home, Prompter& prompter)
{
    auto ctx = std::make_unique<AppContext>(resolveDataFolder(home));
    const QString file = settingsPath(ctx->home);
    const LanguageInfo* system = languageFromSystem(systemLanguages());
    QString id = QString::fromLatin1(system ? system->localeId : languageTable().front().localeId);
    if (QFileInfo(file).isFile())
        id = IniFile::load(file).value(QString::fromLatin1(kSettingsSection), QStringLiteral("Language")).value_or(id);
    const LanguageInfo& language = languageByLocaleId(id.trimmed());
    ctx->languageName = QString::fromUtf8(language.name);
    SetupLanguage(ctx->guru, prompter, languageDatabaseToRead(ctx->home, findAssetFolder()), ctx->languageName,
                  ctx->home);
    return ctx;
}

namespace {

// Before any window exists a message can only go to standard error, and
// nothing can be asked.
class StandardErrorPrompter : public Prompter {
public:
    Answer message(const Message& message) override
    {
        std::fprintf(stderr, "%s\n", qPrintable(message.text));
        return Answer::Cancel;
    }
    std::optional<QString> input(const QString&, const QString&, const QString&, int) override { return {}; }
    QString openFile(const QString&, const QStringList&, const QString&) override { return {}; }
    QString saveFile(const QString&, const QStringList&, const QString&) override { return {}; }
};

} // namespace

std::unique_ptr<AppContext> languageOnly(const QString& home)
{
    StandardErrorPrompter prompter;
    return languageOnly(home, prompter);
}

QString refusalLine(const QString& program, const QString& home, const Error& why)
{
    const std::unique_ptr<AppContext> ctx = languageOnly(home);
    return program + QStringLiteral(": ") + errorText(ctx->guru, why);
}

} // namespace tvq52
