#include "i18n/heading_lines.h"

namespace tvq52 {

QString headingForDisplay(const QString& text)
{
    QString s = text;
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

QString headingKey(const QString& shown)
{
    QString s = shown;
    s.replace(QLatin1String("\r\n"), QLatin1String("\r"));
    s.replace(QLatin1Char('\n'), QLatin1Char('\r'));
    return s;
}

} // namespace tvq52
