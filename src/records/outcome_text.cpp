#include "records/outcome_text.h"

#include "i18n/translator.h"

namespace tvq52 {

QString journalOutcomeText(const Translator& guru, const QString& outcome)
{
    if (outcome == QLatin1String("completed"))
        return guru.GetTranslation(QStringLiteral("Completada"));
    if (outcome == QLatin1String("stopped"))
        return guru.GetTranslation(QStringLiteral("Parada"));
    if (outcome == QLatin1String("failed"))
        return guru.GetTranslation(QStringLiteral("Fallida"));
    if (outcome == QLatin1String("cancelled"))
        return guru.GetTranslation(QStringLiteral("Cancelada"));
    if (outcome == QLatin1String("interrupted"))
        return guru.GetTranslation(QStringLiteral("Interrumpida"));
    return outcome;
}

} // namespace tvq52
