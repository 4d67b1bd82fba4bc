#include "app/command_line.h"
#include "app/data_folder.h"
#include "app/database_choice.h"
#include "cli/verify_report_command.h"
#include "cli/cli_session.h"
#include "cli/collect_command.h"
#include "cli/command_args.h"
#include "cli/config_command.h"
#include "cli/download_command.h"
#include "cli/exchange_command.h"
#include "cli/fleet_command.h"
#include "cli/identify_command.h"
#include "cli/journal_command.h"
#include "cli/key_command.h"
#include "cli/merge_command.h"
#include "cli/monitor_command.h"
#include "cli/program_command.h"
#include "cli/recorded_report_command.h"
#include "cli/report_command.h"
#include "cli/roles_command.h"
#include "core/application_info.h"
#include "core/own_words.h"
#include "i18n/translator.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextStream>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <poll.h>
#include <unistd.h>

using namespace tvq52;

namespace {

// The options every command takes, as the help lists them.
struct SharedOption {
    const char* head;
    const char* text; // native, translated and flowed under the head's column
};

constexpr SharedOption kSharedOptions[] = {
    {"--home DIR", "carpeta de datos (por omisión $TVQ52_HOME o la carpeta del usuario)"},
    {"--database URI",
     "guarda los registros en un servidor PostgreSQL en lugar del archivo de la carpeta de datos: "
     "postgresql://user@host:port/database (nunca una contraseña: la da ~/.pgpass, PGPASSWORD o una pregunta)"},
    {"--device PATH", "dispositivo serie, p. ej. /dev/ttyUSB0 o el pty de un simulador"},
    {"--port N", "número de puerto serie en lugar de la ruta de un dispositivo"},
    {"--cable | --modem", "cable directo o módem"},
    {"--phone NUMBER", "número que marca el módem"},
    {"--tone | --pulse", "marcación"},
    {"--prefix TEXT", "prefijo de marcación"},
    {"--timeout-ms MS", "silencio más largo entre dos bytes (por omisión 5000; 15000 para download y collect)"},
    {"--yes",
     "contesta a las preguntas con Aceptar/Sí sin preguntar; sin terminal y sin --yes, las preguntas se contestan "
     "No/Cancelar"},
    {"--help", "este texto; ORDEN --help o help ORDEN: el de una orden"},
    {"--version", "escribe la versión y termina"},
};

QString sharedOptionLines(const Translator& translator)
{
    constexpr qsizetype column = 20;
    QString text = translator.translate(
                       QStringLiteral("Opciones (antes o después de la orden; --name=VALUE vale como --name VALUE):"))
        + QLatin1Char('\n');
    for (const SharedOption& o : kSharedOptions)
        text += flowedLines(
            translator.translate(QString::fromUtf8(o.text)),
            QStringLiteral("  ") + QString::fromLatin1(o.head).leftJustified(column - 3) + QLatin1Char(' '), column);
    return text + QLatin1Char('\n')
        + flowedLines(translator.translate(QStringLiteral(
                          "WHEN (--from, --to) es \"dd/mm/yy hh:nn\", \"dd/mm/yyyy hh:nn\" o ISO 8601: una fecha sola "
                          "(una fecha de --to abarca su día entero), con minutos o segundos, y con Z o un desfase "
                          "(2026-12-01T22:00+01:00), que se pasa a la hora local de este PC.")),
                      QString(), 0);
}

int runInit(CliSession& session, const CliOptions& options, const CommandArgs& args);

const CommandSyntax& initSyntax()
{
    static const CommandSyntax syntax{"init",
                                      "init",
                                      {"Prepara la carpeta de datos (lo hace toda orden la primera vez) y las tablas "
                                       "de una base de datos de servidor que no las tenga."}};
    return syntax;
}

struct CommandEntry {
    const CommandSyntax& (*syntax)();
    int (*run)(CliSession&, const CliOptions&, const CommandArgs&);
    // config reads no settings, so that it can mend a file the program cannot read.
    bool readsSettings = true;
    bool usesLine = true;
};

const std::vector<CommandEntry>& commands()
{
    static const std::vector<CommandEntry> list{{identifySyntax, runIdentify},
                                                {initSyntax, runInit, false, false},
                                                {configSyntax, runConfig, false, false},
                                                {programSyntax, runProgram},
                                                {monitorSyntax, runMonitor},
                                                {downloadSyntax, runDownload},
                                                {collectSyntax, runCollect},
                                                {verifySyntax, runVerify},
                                                {journalSyntax, runJournal},
                                                {verifyReportSyntax, runVerifyReport, true, false},
                                                {fleetSyntax, runFleet, true, false},
                                                {mergeSyntax, runMerge},
                                                {reportSyntax, runReport},
                                                {importSyntax, runImport},
                                                {exportSyntax, runExport},
                                                {csvSyntax, runCsv},
                                                {keySyntax, runKey, true, false},
                                                {trustSyntax, runTrust, true, false},
                                                {rolesSyntax, runRoles, true, false}};
    return list;
}

const CommandEntry* findCommand(const QString& name)
{
    for (const CommandEntry& c : commands())
        if (name == QLatin1String(c.syntax().name))
            return &c;
    return nullptr;
}

QString fullUsage(const Translator& translator)
{
    QString text = translator.translate(QStringLiteral("uso: tvq52-cli [opciones] ORDEN [opciones]"))
        + QStringLiteral("\n\n") + translator.translate(QStringLiteral("Órdenes:")) + QLatin1Char('\n');
    for (const CommandEntry& c : commands()) {
        for (const QString& form : QString::fromUtf8(c.syntax().synopsis).split(QLatin1Char('\n')))
            text += QStringLiteral("  ") + form + QLatin1Char('\n');
        text += descriptionLines(translator, c.syntax());
    }
    return text + QLatin1Char('\n') + sharedOptionLines(translator);
}

// Lays out the data folder, and the tables of the server that --database or
// the settings name; prints the folder and the server.
int runInit(CliSession& session, const CliOptions&, const CommandArgs&)
{
    const Result<DatabaseTarget> target = resolveDatabase(*session.ctx);
    if (!target) {
        printError(session.ctx->translator, target.error());
        return 1;
    }
    if (target->isServer() && !openFolderDatabase(*session.ctx, true))
        return 1;
    QTextStream(stdout) << session.ctx->home << Qt::endl;
    if (target->isServer())
        QTextStream(stdout) << target->displayName() << Qt::endl;
    return 0;
}

// Reports lay text out with fonts, which needs a GUI application (on no screen).
bool needsFonts(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "report") == 0)
            return true;
        // collect writes PDFs with --reports, or when a scheduled run's settings say so.
        const QByteArray word(argv[i]);
        if (word == "--scheduled" || word == "--reports" || word.startsWith("--reports="))
            return true;
        // fleet --pdf writes the overview.
        if (word == "--pdf" || word.startsWith("--pdf="))
            return true;
    }
    return false;
}

// `runtime` keeps a folder of the run's own for as long as the application lives.
std::unique_ptr<QCoreApplication> makeApplication(int& argc, char** argv, std::unique_ptr<QTemporaryDir>& runtime)
{
    std::unique_ptr<QCoreApplication> app;
    if (needsFonts(argc, argv)) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        // The fonts ask for the session's runtime folder, which a run from cron
        // lacks: Qt would warn and fall back to one under /tmp of a known name.
        if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
            runtime = std::make_unique<QTemporaryDir>(); // a random name, mode 0700
            if (runtime->isValid())
                qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime->path()));
        }
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("tvq52-cli"));
    return app;
}

// --help, -h or "help [COMMAND]": the text asked for, on standard output.
std::optional<int> printHelp(const CliOptions& options)
{
    const bool helpCommand = options.command.value(0) == QLatin1String("help");
    if (!options.help && !helpCommand)
        return std::nullopt;
    const QString topic = options.command.value(helpCommand ? 1 : 0);
    const CommandEntry* entry = findCommand(topic);
    if (!entry && !topic.isEmpty())
        return std::nullopt; // an unknown command is refused as such
    const std::unique_ptr<AppContext> ctx = languageOnly(options);
    QTextStream(stdout) << (entry ? commandHelp(ctx->translator, entry->syntax()) : fullUsage(ctx->translator)) << Qt::flush;
    return 0;
}

// The data folder, its settings and the user's language; a command that
// mends settings still gets the language when the file can be read.
Result<CliSession> openSession(const CliOptions& options, const CommandEntry* entry)
{
    Result<CliSession> session = CliSession::open(options, true);
    if (session || (entry && entry->readsSettings))
        return session;
    return CliSession::open(options, false);
}

// Says why the words were refused, in the user's language, with the usage
// of the command when one was named; the data folder is left untouched.
int refuse(const CliOptions& options, const Error& why, const CommandEntry* entry)
{
    const std::unique_ptr<AppContext> ctx = languageOnly(options);
    if (entry)
        return refuseUsage(ctx->translator, why, entry->syntax());
    printError(ctx->translator, why);
    QTextStream(stderr) << ctx->translator.translate(
                               QStringLiteral("uso: tvq52-cli [opciones] ORDEN [opciones]; tvq52-cli --help las lista"))
                        << Qt::endl;
    return 2;
}

int run(const CliOptions& options)
{
    // "help TOPIC" of a topic that is no command names the topic.
    const bool help = options.command.value(0) == QLatin1String("help");
    const QString command = options.command.value(help ? 1 : 0);
    const CommandEntry* entry = help ? nullptr : findCommand(command);
    // The words are checked before the data folder is laid out or read.
    if (options.fault)
        return refuse(options, *options.fault, nullptr);
    if (!entry)
        return refuse(options, ownWords(QStringLiteral("Orden desconocida: %1"), {command}), nullptr);
    const Result<CommandArgs> args = parseCommandArgs(options.command.mid(1), entry->syntax());
    if (!args)
        return refuse(options, args.error(), entry);
    if (const auto fault = entry->syntax().fault ? entry->syntax().fault(*args) : std::nullopt)
        return refuse(options, *fault, entry);
    Result<CliSession> session = openSession(options, entry);
    if (!session) {
        QTextStream(stderr) << "tvq52-cli: " << untranslatedText(session.error()) << Qt::endl;
        return 1;
    }
    if (entry->usesLine)
        session->applyLineOptions(options);
    return entry->run(*session, options, *args);
}

// The error that lost some of standard output, if any was lost. A write
// that failed earlier left no errno; a pipe whose reader has gone says so.
std::optional<int> stdoutLost()
{
    errno = 0;
    if (std::fflush(stdout) != 0)
        return errno != 0 ? errno : EIO;
    if (!std::ferror(stdout))
        return std::nullopt;
    pollfd out{STDOUT_FILENO, 0, 0};
    return ::poll(&out, 1, 0) == 1 && (out.revents & POLLERR) ? EPIPE : EIO;
}

} // namespace

int main(int argc, char** argv)
{
    // A reader that went away (`| head`) must not end a download or an
    // import before its journal entry is sealed: writes then just fail.
    std::signal(SIGPIPE, SIG_IGN);
    if (asksForVersion(argc, argv)) {
        std::fputs(qPrintable(versionLine(QStringLiteral("tvq52-cli"))), stdout);
        return 0;
    }
    std::unique_ptr<QTemporaryDir> runtime;
    const std::unique_ptr<QCoreApplication> app = makeApplication(argc, argv, runtime);
    const CliOptions options = parseCliOptions(QCoreApplication::arguments().mid(1));
    if (const auto helped = printHelp(options))
        return *helped;
    if (options.command.isEmpty() && !options.fault) {
        // Nothing to do is a usage error: a script that lost its words fails.
        QTextStream(stderr) << fullUsage(languageOnly(options)->translator) << Qt::flush;
        return 2;
    }
    const int status = run(options);
    // The work is done and sealed; an output that was lost still fails the
    // run, and says so where it can still be read (a run that failed has
    // told its own failure).
    const std::optional<int> lost = stdoutLost();
    if (!lost || status != 0)
        return status;
    printError(languageOnly(options)->translator, ownWords(QStringLiteral("No se pudo escribir la salida: %1"),
                                                     {QString::fromLocal8Bit(std::strerror(*lost))}));
    return 1;
}
