#include "app/command_line.h"
#include "app/data_folder.h"
#include "app/database_choice.h"
#include "cli/cli_session.h"
#include "cli/config_command.h"
#include "cli/download_command.h"
#include "cli/exchange_command.h"
#include "cli/identify_command.h"
#include "cli/merge_command.h"
#include "cli/monitor_command.h"
#include "cli/program_command.h"
#include "cli/recorded_report_command.h"
#include "cli/report_command.h"
#include "core/application_info.h"
#include "core/own_words.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTextStream>
#include <memory>

using namespace tvq52;

namespace {

const char kUsage[] =
    "usage: tvq52-cli [options] COMMAND [options]\n"
    "\n"
    "Commands:\n"
    "  identify               identify the unit on the configured line\n"
    "  init                   lay out the data folder (done by every command on first use),\n"
    "                         and the tables of a server database that lacks them\n"
    "  config get KEY         print a setting of the data folder\n"
    "  config set KEY VALUE   change a setting (SerialPort, SerialDevice, Modem, TonePulse,\n"
    "                         DialCode, ModemSpeed, Language, User, Database)\n"
    "  program get [--save]   receive the unit's programming and print it; --save keeps\n"
    "                         it in the database as the programming window would\n"
    "  program put SERIAL     transmit the stored programming of unit SERIAL\n"
    "  monitor [--count N] [--serial N]\n"
    "                         print one live reading a line until Ctrl-C or N readings\n"
    "  download [--from \"dd/mm/yy hh:nn\"] [--to \"dd/mm/yy hh:nn\"]\n"
    "                         download the recorded data of the unit on the line into the\n"
    "                         database; by default from its newest stored interval to now\n"
    "                         (four-digit years too); exit status 0 only when complete\n"
    "  collect FILE           download by modem each unit listed in FILE, one serial number\n"
    "                         a line (# comments), dialling its stored telephone number and\n"
    "                         hanging up after each; prints a summary\n"
    "  verify [SERIAL] [--head HASH]\n"
    "                         check the stored records against the exchange journal; exit\n"
    "                         status 1 when a record or entry was changed, a record has no\n"
    "                         entry that stored it, or the kept head HASH is not in the chain\n"
    "  journal [--serial N]   list the exchange journal, newest first, and its head\n"
    "  merge FILE.db          add the records of another database of this program that this\n"
    "                         one lacks (never its settings); prints the rows per table;\n"
    "                         exit status 1 when a table could not be read\n"
    "  report programming SERIAL --pdf FILE\n"
    "                         write the programming report of a stored unit to a PDF\n"
    "  report intervals|sessions|exceedances SERIAL --from \"dd/mm/yy hh:nn\"\n"
    "         --to \"dd/mm/yy hh:nn\" --pdf FILE\n"
    "                         the report window's report of the records that start in the\n"
    "                         range (four-digit years too), as PDF\n"
    "  import FILE.TQ52       add the exchange file's records that the database lacks; prints\n"
    "                         a summary; exit status 1 when the file cannot be read\n"
    "  export FILE.TQ52 SERIAL...\n"
    "                         write the stored records of the units as an exchange file\n"
    "  csv intervals|sessions SERIAL [--from \"dd/mm/yy hh:nn\"] [--to \"dd/mm/yy hh:nn\"]\n"
    "                         the unit's grid as the windows export it, on standard output\n"
    "\n"
    "Options (before or after the command):\n"
    "  --home DIR        data folder (default $TVQ52_HOME or the per-user folder)\n"
    "  --database URI    keep the records on a PostgreSQL server instead of the data\n"
    "                    folder's file: postgresql://user@host:port/database (never a\n"
    "                    password: ~/.pgpass, PGPASSWORD or a prompt gives it)\n"
    "  --device PATH     serial device, e.g. /dev/ttyUSB0 or a simulator's pty\n"
    "  --port N          serial port number instead of a device path\n"
    "  --cable | --modem direct cable or modem\n"
    "  --phone NUMBER    number the modem dials\n"
    "  --tone | --pulse  dialling\n"
    "  --prefix TEXT     dial prefix\n"
    "  --timeout-ms MS   longest silence between two bytes (default 5000; 15000 for\n"
    "                    download and collect)\n"
    "  --yes             answer prompts with OK/Yes without asking; with no terminal\n"
    "                    and no --yes, questions are answered No/Cancel\n"
    "  --version         print the version and exit\n";

// Reports lay text out with fonts, which needs a GUI application (on no screen).
bool needsFonts(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (qstrcmp(argv[i], "report") == 0)
            return true;
    return false;
}

std::unique_ptr<QCoreApplication> makeApplication(int& argc, char** argv)
{
    std::unique_ptr<QCoreApplication> app;
    if (needsFonts(argc, argv)) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("tvq52-cli"));
    return app;
}

bool isKnownCommand(const QString& command)
{
    static const QStringList known{QStringLiteral("identify"), QStringLiteral("init"),    QStringLiteral("config"),
                                   QStringLiteral("program"),  QStringLiteral("monitor"), QStringLiteral("download"),
                                   QStringLiteral("collect"),  QStringLiteral("verify"),  QStringLiteral("journal"),
                                   QStringLiteral("merge"),    QStringLiteral("report"),  QStringLiteral("csv"),
                                   QStringLiteral("import"),   QStringLiteral("export")};
    return known.contains(command);
}

// Lays out the data folder, and the tables of the server that --database or
// the settings name; prints the folder and the server.
int runInit(CliSession& session, const CliOptions& options)
{
    QTextStream err(stderr);
    if (options.command.size() > 1) {
        err << "tvq52-cli: usage: init" << Qt::endl;
        return 2;
    }
    const Result<DatabaseTarget> target = resolveDatabase(*session.ctx);
    if (!target) {
        printError(session.ctx->guru, target.error());
        return 1;
    }
    if (target->isServer() && !openFolderDatabase(*session.ctx, true))
        return 1;
    QTextStream(stdout) << session.ctx->home << Qt::endl;
    if (target->isServer())
        QTextStream(stdout) << target->displayName() << Qt::endl;
    return 0;
}

int runCommand(const QString& command, CliSession& session, const CliOptions& options)
{
    if (command == QLatin1String("init"))
        return runInit(session, options);
    if (command == QLatin1String("config"))
        return runConfig(*session.ctx, options.command.mid(1));

    session.applyLineOptions(options);
    if (command == QLatin1String("program"))
        return runProgram(session, options);
    if (command == QLatin1String("monitor"))
        return runMonitor(session, options);
    if (command == QLatin1String("download"))
        return runDownload(session, options);
    if (command == QLatin1String("collect"))
        return runCollect(session, options);
    if (command == QLatin1String("verify"))
        return runVerify(session, options);
    if (command == QLatin1String("journal"))
        return runJournal(session, options);
    if (command == QLatin1String("merge"))
        return runMerge(session, options);
    if (command == QLatin1String("report"))
        return options.command.value(1) == QLatin1String("programming") ? runReport(session, options)
                                                                        : runRecordedReport(session, options);
    if (command == QLatin1String("csv"))
        return runCsv(session, options);
    if (command == QLatin1String("import"))
        return runImport(session, options);
    if (command == QLatin1String("export"))
        return runExport(session, options);
    return runIdentify(session, options);
}

} // namespace

int main(int argc, char** argv)
{
    if (asksForVersion(argc, argv)) {
        std::fputs(qPrintable(versionLine(QStringLiteral("tvq52-cli"))), stdout);
        return 0;
    }
    const std::unique_ptr<QCoreApplication> app = makeApplication(argc, argv);
    QTextStream err(stderr);

    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h"))) {
        QTextStream(stdout) << kUsage << Qt::flush;
        return 0;
    }
    const Result<CliOptions> options = parseCliOptions(arguments);
    if (!options) {
        err << "tvq52-cli: " << untranslatedText(options.error()) << "\n\n" << kUsage << Qt::flush;
        return 2;
    }
    const QString command = options->command.value(0);
    if (command.isEmpty() || command == QLatin1String("help")) {
        QTextStream(stdout) << kUsage << Qt::flush;
        return command.isEmpty() ? 2 : 0;
    }
    if (!isKnownCommand(command)) {
        err << "tvq52-cli: unknown command " << command << "\n\n" << kUsage << Qt::flush;
        return 2;
    }

    Result<CliSession> session =
        CliSession::open(*options, command != QLatin1String("init") && command != QLatin1String("config"));
    if (!session) {
        err << "tvq52-cli: " << untranslatedText(session.error()) << Qt::endl;
        return 1;
    }
    return runCommand(command, *session, *options);
}
