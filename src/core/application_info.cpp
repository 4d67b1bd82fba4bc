#include "core/application_info.h"

namespace tvq52 {

bool asksForVersion(int argc, const char* const* argv)
{
    for (int i = 1; i < argc; ++i) {
        // What follows "--" is an argument, not an option.
        if (qstrcmp(argv[i], "--") == 0)
            return false;
        if (qstrcmp(argv[i], "--version") == 0)
            return true;
    }
    return false;
}

QString versionLine(const QString& program)
{
    return QStringLiteral("%1 %2\n").arg(program, QStringLiteral(TVQ52_VERSION));
}

} // namespace tvq52
