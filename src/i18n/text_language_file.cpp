#include "i18n/text_language_file.h"

#include <QHash>
#include <algorithm>
#include <numeric>
#include <vector>

namespace tvq52 {

std::optional<TextLanguageTable> parseTextLanguageFile(const QString& contents, const QString& language)
{
    // Section names are case-insensitive; values keep everything after the
    // first "=", so a native text may itself contain one.
    QHash<QString, QStringList> sections;
    QHash<QString, QString> header;
    QString section;
    for (QString line : contents.split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']'))) {
            section = trimmed.mid(1, trimmed.size() - 2).trimmed().toUpper();
            continue;
        }
        const int eq = line.indexOf(QLatin1Char('='));
        if (section.isEmpty() || eq < 0)
            continue;
        if (section == QLatin1String("LOCALIZATION GURU"))
            header.insert(line.left(eq).trimmed().toUpper(), line.mid(eq + 1).trimmed());
        else
            sections[section].append(line.mid(eq + 1));
    }

    const int languages = header.value(QStringLiteral("NUMBEROFLANGUAGES")).toInt();
    const int strings = header.value(QStringLiteral("NUMBEROFSTRINGS")).toInt();
    if (languages < 1 || strings < 1)
        return std::nullopt;
    const QStringList native = sections.value(QStringLiteral("NATIVE"));
    const QStringList foreign = sections.value(language.trimmed().toUpper());
    if (native.size() < strings || foreign.size() < strings)
        return std::nullopt;

    // Sorted here rather than trusted: a hand-edited file out of order would
    // otherwise hide texts from the binary search.
    std::vector<int> order(static_cast<std::size_t>(strings));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return QString::compare(native[a], native[b], Qt::CaseSensitive) < 0; });
    TextLanguageTable table;
    for (int i : order) {
        table.native.append(native[i]);
        table.foreign.append(foreign[i]);
    }
    return table;
}

} // namespace tvq52
