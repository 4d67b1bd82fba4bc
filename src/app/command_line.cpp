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

CommandLine parseCommandLine(const QStringList& arguments)
{
    CommandLine result;
    QStringList rest;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == QLatin1String("--home")) {
            if (i + 1 >= arguments.size()) {
                result.error = QStringLiteral("--home needs a folder");
                return result;
            }
            result.home = arguments[++i];
        } else if (a.startsWith(QLatin1String("--home="))) {
            result.home = a.mid(7);
        } else if (a == QLatin1String("--database")) {
            if (i + 1 >= arguments.size()) {
                result.error = QStringLiteral("--database needs a postgresql:// URI");
                return result;
            }
            result.database = arguments[++i];
        } else if (a.startsWith(QLatin1String("--database="))) {
            result.database = a.mid(11);
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            result.help = true;
        } else {
            rest << a;
        }
    }
    result.argument = rest.join(QLatin1Char(' '));
    return result;
}

} // namespace tvq52
