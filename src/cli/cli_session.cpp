#include "cli/cli_session.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QTextStream>
#include <charconv>
#include <limits>

#include "app/command_line.h"
#include "app/data_folder.h"
#include "app/database_opening.h"
#include "app/language_table.h"
#include "app/settings.h"
#include "app/signing_settings.h"
#include "cli/console_progress.h"
#include "core/command_line_parser.h"
#include "core/own_words.h"
#include "i18n/catalogue_message.h"
#include "i18n/language_setup.h"
#include "link/dial_command.h"
#include "records/record_store.h"

namespace tvq52 {

namespace {

std::optional<int> numberIn(const QString& text, int low, int high)
{
    bool ok = false;
    const int n = text.toInt(&ok);
    return ok && n >= low && n <= high ? std::optional<int>(n) : std::nullopt;
}

const std::vector<OptionSpec>& sharedOptions()
{
    static const std::vector<OptionSpec> options{
        {QStringLiteral("--home"), QStringLiteral("DIR")},
        {QStringLiteral("--database"), QStringLiteral("URI")},
        {QStringLiteral("--device"), QStringLiteral("PATH")},
        {QStringLiteral("--port"), QStringLiteral("N")},
        {QStringLiteral("--cable"), {}},
        {QStringLiteral("--modem"), {}},
        {QStringLiteral("--phone"), QStringLiteral("NUMBER")},
        {QStringLiteral("--tone"), {}},
        {QStringLiteral("--pulse"), {}},
        {QStringLiteral("--prefix"), QStringLiteral("TEXT")},
        {QStringLiteral("--timeout-ms"), QStringLiteral("MS")},
        {QStringLiteral("--yes"), {}},
        {QStringLiteral("--help"), {}, QStringLiteral("-h")},
        // Not in --help: tests run the line's waits and pacing faster.
        {QStringLiteral("--clock-speed"), QStringLiteral("FACTOR")},
    };
    return options;
}

// Sets what shared option `a` says; a value it cannot use is the fault.
void takeSharedOption(CliOptions& o, const QString& a, const QString& value)
{
    auto dialString = [&]() -> QString {
        if (!isDialString(value))
            o.fault = ownWords(QStringLiteral("%1 solo admite caracteres de marcación: cifras, * # + , W P T ! @ "
                                              "y los separadores - ( ) . y el espacio"),
                               {a});
        return value;
    };
    if (a == QLatin1String("--home")) {
        o.home = value;
    } else if (a == QLatin1String("--database")) {
        o.database = value;
    } else if (a == QLatin1String("--device")) {
        o.device = value;
        o.devices << o.device;
        // An empty path would open no port and read as a failed transmission.
        if (o.device.trimmed().isEmpty())
            o.fault = ownWords(QStringLiteral("--device necesita la ruta de un dispositivo: se ha dado vacía"));
    } else if (a == QLatin1String("--port")) {
        o.port = numberIn(value, 0, 255);
        if (!o.port)
            o.fault = ownWords(QStringLiteral("--port necesita un número de 0 a 255"));
    } else if (a == QLatin1String("--modem") || a == QLatin1String("--cable")) {
        o.modem = a == QLatin1String("--modem");
    } else if (a == QLatin1String("--tone") || a == QLatin1String("--pulse")) {
        o.pulse = a == QLatin1String("--pulse");
    } else if (a == QLatin1String("--prefix")) {
        o.prefix = dialString();
    } else if (a == QLatin1String("--phone")) {
        o.phone = dialString();
    } else if (a == QLatin1String("--yes")) {
        o.assumeYes = true;
    } else if (a == QLatin1String("--help")) {
        o.help = true;
    } else if (a == QLatin1String("--timeout-ms")) {
        const auto n = numberIn(value, 1, std::numeric_limits<int>::max());
        if (!n)
            o.fault = ownWords(QStringLiteral("%1 necesita un número positivo"), {a});
        o.timeoutMs = n.value_or(0);
        o.timeoutGiven = true;
    } else if (a == QLatin1String("--clock-speed")) {
        bool ok = false;
        o.clockSpeed = value.toDouble(&ok);
        if (!ok || o.clockSpeed <= 0)
            o.fault = ownWords(QStringLiteral("%1 necesita un número positivo"), {a});
    }
}

} // namespace

CliOptions parseCliOptions(const QStringList& arguments)
{
    // The first argument is the command; an option after it that is not
    // shared is the command's own (--save, --count), which it refuses if it
    // does not take it.
    const ParsedWords parsed =
        parseWords(arguments, sharedOptions(), {.singleDashOptions = false, .keepForCommand = true});
    CliOptions o;
    o.command = parsed.arguments;
    for (const auto& [name, value] : parsed.given) {
        takeSharedOption(o, name, value);
        if (o.fault)
            return o;
    }
    o.fault = parsed.fault;
    return o;
}

Result<CliSession> CliSession::open(const CliOptions& options, bool readSettings)
{
    CliSession s;
    s.clock = std::make_unique<ScaledClock>(options.clockSpeed);
    const DataFolderChoice choice = chooseDataFolder(options.home);
    const QString folder = choice.folder;
    QStringList settingsAdded;
    if (const Result<bool> provisioned = provisionDataFolder(folder, &settingsAdded); !provisioned)
        return provisioned.error();
    s.ctx = std::make_unique<AppContext>(folder);
    s.ctx->databaseOverride = options.database;
    s.prompter = std::make_unique<ConsolePrompter>(ConsolePrompter::stdinIsTerminal(), options.assumeYes);

    // Where a former data folder went, and what the settings file lacked,
    // is said once, on the error stream.
    auto tellFormerFolder = [&] {
        const auto translate = [&](const QString& text) { return s.ctx->translator.translate(text); };
        for (const QString& notice :
             {formerFolderNotice(choice.former, translate), settingsAddedNotice(folder, settingsAdded, translate)})
            if (!notice.isEmpty())
                QTextStream(stderr) << notice << Qt::endl;
    };
    if (!readSettings) {
        tellFormerFolder();
        return s;
    }
    const Result<QString> languageValue = readStartupSettings(*s.ctx);
    if (!languageValue)
        return languageValue.error();
    configureSigning(folder);
    const LanguageInfo& language = languageByLocaleId(*languageValue);
    s.ctx->languageName = QString::fromUtf8(language.name);
    s.ctx->LanguageCodeValue = language.code;
    setUpLanguage(s.ctx->translator, *s.prompter, languageDatabaseToRead(folder, findAssetFolder()), s.ctx->languageName,
                  folder);
    tellFormerFolder();
    return s;
}

std::unique_ptr<AppContext> languageOnly(const CliOptions& options)
{
    ConsolePrompter prompter(false, false);
    return languageOnly(options.home, prompter);
}

std::unique_ptr<ExchangeSession> CliSession::openExchange(const CliOptions& options)
{
    return openExchangeSession(*ctx, {nullptr, clock.get(), options.timeoutMs});
}

void CliSession::applyLineOptions(const CliOptions& o)
{
    LineSettings& link = ctx->lineSettings;
    if (o.port) {
        link.SerialPort = std::uint8_t(*o.port);
        link.SerialDevice.clear();
    }
    if (!o.device.isEmpty()) {
        // A path is taken from where the command runs, as any command takes
        // a file; a bare name that is not there stays a name in /dev.
        const QFileInfo relative(o.device);
        const bool path = o.device.contains(QLatin1Char('/')) || relative.exists() || relative.isSymLink();
        link.SerialDevice = relative.isRelative() && path ? relative.absoluteFilePath() : o.device;
    }
    if (o.modem)
        link.ModemMode = *o.modem ? 1 : 0;
    if (o.pulse)
        link.TonePulse = *o.pulse ? 0 : 1;
    if (o.prefix)
        link.DialCode = *o.prefix;
    link.PhoneNumber = o.phone;
}

bool requireStoredUnit(AppContext& ctx, qint32 serial)
{
    if (unitStored(*ctx.db, serial))
        return true;
    printError(ctx.translator, ownWords(QStringLiteral("La unidad %1 no está guardada"), {QString::number(serial)}));
    return false;
}

void printError(const Translator& translator, const Error& error)
{
    ConsoleProgress::endLine();
    QTextStream(stderr) << "tvq52-cli: " << ConsolePrompter::consoleText(errorText(translator, error)) << Qt::endl;
}

void printJson(const QJsonObject& document)
{
    QTextStream(stdout) << QJsonDocument(document).toJson(QJsonDocument::Indented) << Qt::flush;
}

QJsonValue jsonCount(qint64 n)
{
    return n > 0 ? QJsonValue(n) : QJsonValue(QJsonValue::Null);
}

QJsonValue jsonSingle(float value)
{
    char text[32];
    const auto written = std::to_chars(text, text + sizeof text, value);
    return QJsonValue(QByteArray(text, written.ptr - text).toDouble());
}

QJsonValue jsonText(const QString& text)
{
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

namespace {

bool openRecords(AppContext& ctx, SchemaPolicy policy, DatabaseAccess access)
{
    // Only a password is ever asked here, and only on a terminal.
    ConsolePrompter prompter(ConsolePrompter::stdinIsTerminal(), false);
    const Status opened = tvq52::openRecords(ctx, prompter, {policy, access, std::nullopt, {}});
    if (!opened)
        printError(ctx.translator, opened.error());
    return opened.ok();
}

} // namespace

bool openFolderDatabase(AppContext& ctx, bool layOut)
{
    return openRecords(ctx, layOut ? SchemaPolicy::LayOut : SchemaPolicy::RequireReady, DatabaseAccess::ReadWrite);
}

bool openFolderDatabase(AppContext& ctx, Operation op)
{
    if (!openFolderDatabase(ctx))
        return false;
    const Status allowed = checkRight(*ctx.db, op);
    if (!allowed)
        printError(ctx.translator, allowed.error());
    return allowed.ok();
}

bool openFolderDatabaseToRead(AppContext& ctx)
{
    return openRecords(ctx, SchemaPolicy::RequireReady, DatabaseAccess::ReadOnly);
}

} // namespace tvq52
