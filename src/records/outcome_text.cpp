#include "records/outcome_text.h"

#include "core/message_words.h"
#include "db/journal_tables.h"
#include "i18n/translator.h"
#include "records/collect_summary.h"

namespace tvq52 {

QString journalMessageText(const Translator& guru, const JournalEntry& entry)
{
    if (entry.messageNumber > 0)
        return guru.text(entry.messageNumber, entry.messageArguments);
    // Older entries, and any whose source does not read, show their stored text.
    const std::optional<MessageWords> words = MessageWords::decoded(entry.messageArguments);
    if (!words)
        return entry.message;
    return words->shown([&guru](const QString& native) { return guru.GetTranslation(native); });
}

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

QString collectOutcomeText(const Translator& guru, CollectOutcome outcome)
{
    switch (outcome) {
    case CollectOutcome::NotSerialNumber:
        return guru.GetTranslation(QStringLiteral("No es un número de serie"));
    case CollectOutcome::NotStored:
        return guru.GetTranslation(QStringLiteral("Unidad no guardada"));
    case CollectOutcome::NoTelephone:
        return guru.GetTranslation(QStringLiteral("Sin número de teléfono"));
    case CollectOutcome::AnotherUnit:
        return guru.GetTranslation(QStringLiteral("Ha contestado otra unidad"));
    case CollectOutcome::NotCalled:
        return guru.GetTranslation(QStringLiteral("Sin llamar"));
    case CollectOutcome::LineFailed:
        return guru.GetTranslation(QStringLiteral("Línea detenida"));
    default:
        // A download's own end, in the journal's words.
        return journalOutcomeText(guru, collectOutcomeName(outcome));
    }
}

} // namespace tvq52
