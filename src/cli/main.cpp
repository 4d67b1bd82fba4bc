#include "app/data_folder.h"
#include "cli/cli_session.h"
#include "cli/config_command.h"
#include "cli/identify_command.h"
#include "cli/monitor_command.h"
#include "cli/program_command.h"

#include <QCoreApplication>
#include <QTextStream>

using namespace tvq52;

namespace {

const char kUsage[] =
    "usage: tvq52-cli [options] COMMAND [options]\n"
    "\n"
    "Commands:\n"
    "  identify               identify the unit on the configured line\n"
    "  init                   lay out the data folder (done by every command on first use)\n"
    "  config get KEY         print a setting of the data folder\n"
    "  config set KEY VALUE   change a setting (SerialPort, SerialDevice, Modem, TonePulse,\n"
    "                         DialCode, ModemSpeed, Language, User)\n"
    "  program get [--save]   receive the unit's programming and print it; --save keeps\n"
    "                         it in the database as the programming window would\n"
    "  program put SERIAL     transmit the stored programming of unit SERIAL\n"
    "  monitor [--count N] [--serial N]\n"
    "                         print one live reading a line until Ctrl-C or N readings\n"
    "\n"
    "Options (before or after the command):\n"
    "  --home DIR        data folder (default $TVQ52_HOME or the per-user folder)\n"
    "  --device PATH     serial device, e.g. /dev/ttyUSB0 or a simulator's pty\n"
    "  --port N          serial port number instead of a device path\n"
    "  --cable | --modem direct cable or modem\n"
    "  --phone NUMBER    number the modem dials\n"
    "  --tone | --pulse  dialling\n"
    "  --prefix TEXT     dial prefix\n"
    "  --timeout-ms MS   longest silence between two bytes (default 5000)\n"
    "  --yes             answer prompts with OK/Yes without asking; with no terminal\n"
    "                    and no --yes, questions are answered No/Cancel\n";

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tvq52-cli"));
    QTextStream err(stderr);

    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h"))) {
        QTextStream(stdout) << kUsage << Qt::flush;
        return 0;
    }
    QString error;
    const CliOptions options = parseCliOptions(arguments, &error);
    if (!error.isEmpty()) {
        err << "tvq52-cli: " << error << "\n\n" << kUsage << Qt::flush;
        return 2;
    }
    const QString command = options.command.value(0);
    if (command.isEmpty() || command == QLatin1String("help")) {
        QTextStream(stdout) << kUsage << Qt::flush;
        return command.isEmpty() ? 2 : 0;
    }
    const QStringList known{QStringLiteral("identify"), QStringLiteral("init"), QStringLiteral("config"),
                            QStringLiteral("program"), QStringLiteral("monitor")};
    if (!known.contains(command)) {
        err << "tvq52-cli: unknown command " << command << "\n\n" << kUsage << Qt::flush;
        return 2;
    }

    CliSession session =
        CliSession::open(options, command != QLatin1String("init") && command != QLatin1String("config"));
    if (!session.error.isEmpty()) {
        err << "tvq52-cli: " << session.error << Qt::endl;
        return 1;
    }
    if (command == QLatin1String("init")) {
        if (options.command.size() > 1) {
            err << "tvq52-cli: usage: init" << Qt::endl;
            return 2;
        }
        QTextStream(stdout) << session.ctx->home << Qt::endl;
        return 0;
    }
    if (command == QLatin1String("config"))
        return runConfig(*session.ctx, options.command.mid(1));

    session.applyLineOptions(options);
    if (command == QLatin1String("program"))
        return runProgram(session, options);
    if (command == QLatin1String("monitor"))
        return runMonitor(session, options);
    return runIdentify(session, options);
}
