#include "records/gui/record_kind_text.h"

#include "i18n/translator.h"

#include <QStringList>

namespace tvq52 {

QString recordKindTitle(const Translator& translator, RecordKind kind)
{
    switch (kind) {
    case RecordKind::Totals:
        return translator.translate(QStringLiteral("Totales"));
    case RecordKind::Erasures:
        return translator.translate(QStringLiteral("Borrados"));
    case RecordKind::BatteryEnds:
        return translator.translate(QStringLiteral("Finales de batería"));
    case RecordKind::Reprogrammings:
        return translator.translate(QStringLiteral("Reprogramaciones"));
    case RecordKind::Intervals:
        return translator.translate(QStringLiteral("Registros Leq"));
    case RecordKind::Sessions:
        return translator.translate(QStringLiteral("Sesiones"));
    }
    return {};
}

QString journalCountsText(const Translator& translator, const QString& storedCounts)
{
    // Looked up before the numbers go in, so the translation keeps its places.
    const QString pattern = translator.translate(QStringLiteral("%1: %2 nuevos, %3 reescritos, %4 rechazados"));
    // A count of 0 is left out, so that the column stays narrow enough for a
    // small screen: the translation is cut at its commas, when it has them.
    const qsizetype colon = pattern.indexOf(QStringLiteral("%2"));
    const QStringList counted = pattern.mid(colon).split(QStringLiteral(", "));
    const bool cuttable = colon > 0 && counted.size() == 3 && counted[0].contains(QStringLiteral("%2"))
        && counted[1].contains(QStringLiteral("%3")) && counted[2].contains(QStringLiteral("%4"));
    QStringList lines;
    for (const QString& line : storedCounts.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList parts = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const std::optional<RecordKind> kind = parts.isEmpty() ? std::nullopt : recordKindFromWord(parts.first());
        if (!kind || parts.size() != 4) {
            lines << line; // written by a later version: shown as it stands
            continue;
        }
        if (parts[1] == QLatin1String("0") && parts[2] == QLatin1String("0") && parts[3] == QLatin1String("0"))
            continue;
        if (!cuttable) {
            lines << pattern.arg(recordKindTitle(translator, *kind), parts[1], parts[2], parts[3]);
            continue;
        }
        QStringList shown;
        for (int i = 0; i < 3; ++i)
            if (parts[i + 1] != QLatin1String("0"))
                shown << QString(counted[i]).replace(QStringLiteral("%%1").arg(i + 2), parts[i + 1]);
        lines << QString(pattern.left(colon)).replace(QStringLiteral("%1"), recordKindTitle(translator, *kind))
                     + shown.join(QStringLiteral(", "));
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace tvq52
