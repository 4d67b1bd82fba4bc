#include "core/application_info.h"

#include <QObject>
#include <QStringList>

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

QString windowTitleOf(const QString& purpose, const QString& unit)
{
    QStringList parts;
    for (const QString& part : {unit.trimmed(), purpose.trimmed(), QString::fromLatin1(kApplicationTitle)})
        if (!part.isEmpty())
            parts << part;
    return parts.join(QLatin1String(" - "));
}

void setWindowTitleOf(QObject* window, const QString& purpose, const QString& unit)
{
    window->setProperty("Tag", QStringLiteral("!"));
    window->setProperty("windowTitle", windowTitleOf(purpose, unit));
}

QString unitCaption(qint64 serial, const QString& venue)
{
    if (serial == 0)
        return {};
    return QStringLiteral("%1 %2").arg(serial).arg(venue.simplified()).trimmed();
}

QString versionLine(const QString& program)
{
    return QStringLiteral("%1 %2\n").arg(program, QStringLiteral(TVQ52_VERSION));
}

} // namespace tvq52
