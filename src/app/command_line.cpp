#include "app/command_line.h"

#include "app/app_context.h"
#include "app/data_folder.h"
#include "app/ini_file.h"
#include "app/language_table.h"
#include "app/settings.h"
#include "core/command_line_parser.h"
#include "core/own_words.h"
#include "core/prompter.h"
#include "exchange/exchange_format.h"
#include "i18n/catalogue_message.h"
#include "i18n/language_setup.h"

#include <QDir>
#include <QFileInfo>
#include <array>
#include <cstdio>
#include <functional>

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

QString handOverArgument(const QString& argument, const QString& folder)
{
    const QString file = GetCommandLineFile(argument);
    if (!isExchangeFileName(file))
        return argument;
    return QLatin1Char('"') + QDir(folder).absoluteFilePath(file) + QLatin1Char('"');
}

namespace {

const std::array<OptionSpec, 4>& windowOptions()
{
    static const std::array<OptionSpec, 4> options{{{QStringLiteral("--home"), QStringLiteral("DIR")},
                                                    {QStringLiteral("--database"), QStringLiteral("URI")},
                                                    {QStringLiteral("--help"), {}, QStringLiteral("-h")},
                                                    {QStringLiteral("--version"), {}}}};
    return options;
}

} // namespace

CommandLine parseCommandLine(const QStringList& arguments)
{
    const ParsedWords parsed = parseWords(arguments.mid(1), windowOptions());
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

QString commandLineUsage(const std::function<QString(const QString&)>& translate)
{
    const auto tr = [&](const char* text) {
        const QString native = QString::fromUtf8(text);
        return translate ? translate(native) : native;
    };
    const QStringList texts{
        tr("carpeta de datos (por omisión: $TVQ52_HOME, si no ~/.local/share/tvq52)"),
        tr("los registros en un servidor PostgreSQL durante esta ejecución: "
           "postgresql://usuario@servidor:puerto/base (sin contraseña)"),
        tr("Muestra esta ayuda y termina."),
        tr("Muestra la versión y termina."),
    };
    return tr("Uso: tvq52 [--home DIR] [--database URI] [--] [ARCHIVO_DE_INTERCAMBIO.TQ52 | NÚMERO_DE_SERIE]")
        + QLatin1Char('\n') + optionLines(windowOptions(), texts)
        + tr("Un archivo de intercambio se importa; un número de serie abre la programación de esa unidad.")
        + QLatin1Char('\n')
        + tr("Si el programa ya está abierto en la misma carpeta de datos, lo uno o lo otro va a su ventana.")
        + QLatin1Char('\n');
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
    setUpLanguage(ctx->translator, prompter, languageDatabaseToRead(ctx->home, findAssetFolder()), ctx->languageName,
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
    return program + QStringLiteral(": ") + errorText(ctx->translator, why);
}

} // namespace tvq52
