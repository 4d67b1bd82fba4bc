#include "programming/programming_record.h"

#include <QRegularExpression>
#include <algorithm>

namespace tvq52 {

ProgrammingRecord defaultProgramming(const QDate& today)
{
    ProgrammingRecord r;
    r.date = today;
    // Blank venue fields are kept as one blank, as the unit's records have them.
    r.contact = r.venue = r.address = r.town = r.phone = QStringLiteral(" ");
    for (SessionHours& s : r.sessions)
        s = {QStringLiteral("00:00"), QStringLiteral("00:23")};
    return r;
}

ProgIntervals unusedIntervals()
{
    return {};
}

const QStringList& unitLanguages()
{
    static const QStringList names{QStringLiteral("Español"), QStringLiteral("Català"),   QStringLiteral("English"),
                                   QStringLiteral("Deutsch"), QStringLiteral("Français"), QStringLiteral("Italiano")};
    return names;
}

double versionValue(const QString& version)
{
    static const QRegularExpression leading(QStringLiteral("^\\s*(\\d+(\\.\\d*)?|\\.\\d+)"));
    const QRegularExpressionMatch m = leading.match(version);
    return m.hasMatch() ? m.captured(1).toDouble() : 0.0;
}

// Versions are decimal texts such as "3.3"; compare in tenths to avoid 3.3 < 3.3.
// Any text of 1000 or more is past every threshold, and capping it keeps the
// rounding within an int.
static bool atLeast(const QString& version, int tenths)
{
    return qRound(std::min(versionValue(version), 1000.0) * 1000) >= tenths * 100;
}

bool hasActionSeconds(const QString& version)
{
    return atLeast(version, 33);
}

bool hasGlobalCorrection(const QString& version)
{
    return atLeast(version, 40);
}

} // namespace tvq52
