#include "cli/cli_session.h"

#include <QFileInfo>
#include <QTextStream>

#include "app/data_folder.h"
#include "app/database_choice.h"
#include "app/database_opening.h"
#include "app/language_table.h"
#include "app/settings.h"
#include "core/own_words.h"
#include "i18n/catalogue_message.h"
#include "i18n/language_setup.h"
#include "link/dial_command.h"

namespace tvq52 {

Result<CliOptions> parseCliOptions(const QStringList& arguments)
{
    CliOptions o;
    QString fault;            // the first option that does not parse
    bool onlyCommand = false; // after "--" every argument is the command's
    for (int k = 0; k < arguments.size(); ++k) {
        const QString a = arguments.at(k);
        auto value = [&]() -> QString {
            if (k + 1 >= arguments.size()) {
                fault = QStringLiteral("%1 needs a value").arg(a);
                return {};
            }
            return arguments.at(++k);
        };
        auto dialString = [&]() -> QString {
            const QString text = value();
            if (fault.isEmpty() && !isDialString(text))
                fault = QStringLiteral(
                            "%1 takes only dialling characters: digits, * # + , W P T ! @ "
                            "and blanks - ( ) .")
                            .arg(a);
            return text;
        };
        if (onlyCommand || !a.startsWith(QLatin1String("--"))) {
            o.command << a;
        } else if (a == QLatin1String("--")) {
            onlyCommand = true;
        } else if (a == QLatin1String("--home")) {
            o.home = value();
        } else if (a == QLatin1String("--database")) {
            o.database = value();
        } else if (a == QLatin1String("--device")) {
            o.device = value();
        } else if (a == QLatin1String("--port")) {
            bool ok = false;
            const int p = value().toInt(&ok);
            if (!ok || p < 0 || p > 255)
                fault = QStringLiteral("--port takes a number 0 to 255");
            o.port = p;
        } else if (a == QLatin1String("--modem")) {
            o.modem = true;
        } else if (a == QLatin1String("--cable")) {
            o.modem = false;
        } else if (a == QLatin1String("--tone")) {
            o.pulse = false;
        } else if (a == QLatin1String("--pulse")) {
            o.pulse = true;
        } else if (a == QLatin1String("--prefix")) {
            o.prefix = dialString();
        } else if (a == QLatin1String("--phone")) {
            o.phone = dialString();
        } else if (a == QLatin1String("--yes")) {
            o.assumeYes = true;
        } else if (a == QLatin1String("--timeout-ms")) {
            bool ok = false;
            o.timeoutMs = value().toInt(&ok);
            o.timeoutGiven = true;
            if (!ok || o.timeoutMs <= 0)
                fault = QStringLiteral("--timeout-ms takes a positive number");
        } else if (a == QLatin1String("--clock-speed")) {
            bool ok = false;
            o.clockSpeed = value().toDouble(&ok);
            if (!ok || o.clockSpeed <= 0)
                fault = QStringLiteral("--clock-speed takes a positive number");
        } else if (!o.command.isEmpty()) {
            // An option of the command itself (--save, --count); the command
            // refuses what it does not take.
            o.command << a;
        } else {
            fault = QStringLiteral("unknown option %1").arg(a);
        }
        if (!fault.isEmpty())
            return finalText(fault);
    }
    return o;
}

Result<CliSession> CliSession::open(const CliOptions& options, bool readSettings)
{
    CliSession s;
    s.clock = std::make_unique<ScaledClock>(options.clockSpeed);
    const QString folder = resolveDataFolder(options.home);
    if (const Result<bool> provisioned = provisionDataFolder(folder, findAssetFolder()); !provisioned)
        return provisioned.error();
    s.ctx = std::make_unique<AppContext>(folder);
    s.ctx->databaseOverride = options.database;
    s.prompter = std::make_unique<ConsolePrompter>(ConsolePrompter::stdinIsTerminal(), options.assumeYes);

    if (!readSettings)
        return s;
    const Result<QString> languageValue = readStartupSettings(*s.ctx);
    if (!languageValue)
        return languageValue.error();
    const LanguageInfo& language = languageByLocaleId(*languageValue);
    s.ctx->languageName = QString::fromUtf8(language.name);
    s.ctx->LanguageCodeValue = language.code;
    SetupLanguage(s.ctx->guru, *s.prompter, languageDatabasePath(folder), s.ctx->languageName, folder);
    return s;
}

std::unique_ptr<ExchangeSession> CliSession::openExchange(const CliOptions& options)
{
    return openExchangeSession(*ctx, {nullptr, clock.get(), options.timeoutMs});
}

void CliSession::applyLineOptions(const CliOptions& o)
{
    LinkState& link = ctx->link;
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

void printError(const LocGuru& guru, const Error& error)
{
    QTextStream(stderr) << "tvq52-cli: " << ConsolePrompter::consoleText(errorText(guru, error)) << Qt::endl;
}

bool openFolderDatabase(AppContext& ctx, bool layOut)
{
    const Result<DatabaseTarget> target = resolveDatabase(ctx);
    if (!target) {
        printError(ctx.guru, target.error());
        return false;
    }
    // Only a password is ever asked here, and only on a terminal.
    ConsolePrompter prompter(ConsolePrompter::stdinIsTerminal(), false);
    const Status opened =
        openRecordsDatabase(ctx, prompter, *target, layOut ? SchemaPolicy::LayOut : SchemaPolicy::RequireReady);
    if (!opened)
        printError(ctx.guru, opened.error());
    return opened.ok();
}

} // namespace tvq52
