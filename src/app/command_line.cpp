#include "app/command_line.h"

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

namespace {

// Takes the value of `--name VALUE` or `--name=VALUE`; false when `a` is not
// that option. A missing value sets the error.
bool takeValue(const QStringList& arguments, int& i, const QString& name, QString& value, CommandLine& result)
{
    const QString& a = arguments[i];
    if (a.startsWith(name + QLatin1Char('='))) {
        value = a.mid(name.size() + 1);
        return true;
    }
    if (a != name)
        return false;
    if (i + 1 >= arguments.size()) {
        result.error = QStringLiteral("%1 needs a value").arg(name);
        return true;
    }
    value = arguments[++i];
    return true;
}

} // namespace

CommandLine parseCommandLine(const QStringList& arguments)
{
    CommandLine result;
    QStringList rest;
    bool optionsEnded = false;
    for (int i = 1; i < arguments.size() && result.error.isEmpty(); ++i) {
        const QString& a = arguments[i];
        if (optionsEnded || !a.startsWith(QLatin1Char('-')) || a == QLatin1String("-")) {
            rest << a;
        } else if (a == QLatin1String("--")) {
            optionsEnded = true;
        } else if (takeValue(arguments, i, QStringLiteral("--home"), result.home, result)
                   || takeValue(arguments, i, QStringLiteral("--database"), result.database, result)) {
            continue;
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            result.help = true;
        } else if (a == QLatin1String("--version")) {
            result.version = true;
        } else {
            result.error = QStringLiteral("unknown option %1").arg(a);
        }
    }
    result.argument = rest.join(QLatin1Char(' '));
    return result;
}

CommandLine parseCommandLine(int argc, const char* const* argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return parseCommandLine(arguments);
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

} // namespace tvq52
