#include "records/outcome_text.h"

#include "core/message_words.h"
#include "db/journal_tables.h"
#include "i18n/translator.h"
#include "records/collect_summary.h"

namespace tvq52 {

QString journalMessageText(const Translator& translator, const JournalEntry& entry)
{
    if (entry.messageNumber > 0)
        return translator.text(entry.messageNumber, entry.messageArguments);
    // Older entries, and any whose source does not read, show their stored text.
    const std::optional<MessageWords> words = MessageWords::decoded(entry.messageArguments);
    if (!words)
        return entry.message;
    return words->shown([&translator](const QString& native) { return translator.translate(native); });
}

QString journalOutcomeText(const Translator& translator, const QString& outcome)
{
    if (outcome == QLatin1String("completed"))
        return translator.translate(QStringLiteral("Completada"));
    if (outcome == QLatin1String("stopped"))
        return translator.translate(QStringLiteral("Parada"));
    if (outcome == QLatin1String("failed"))
        return translator.translate(QStringLiteral("Fallida"));
    if (outcome == QLatin1String("cancelled"))
        return translator.translate(QStringLiteral("Cancelada"));
    if (outcome == QLatin1String("interrupted"))
        return translator.translate(QStringLiteral("Interrumpida"));
    return outcome;
}

QString collectOutcomeText(const Translator& translator, CollectOutcome outcome)
{
    switch (outcome) {
    case CollectOutcome::NotSerialNumber:
        return translator.translate(QStringLiteral("No es un número de serie"));
    case CollectOutcome::NotStored:
        return translator.translate(QStringLiteral("Unidad no guardada"));
    case CollectOutcome::NoTelephone:
        return translator.translate(QStringLiteral("Sin número de teléfono"));
    case CollectOutcome::AnotherUnit:
        return translator.translate(QStringLiteral("Ha contestado otra unidad"));
    case CollectOutcome::NotCalled:
        return translator.translate(QStringLiteral("Sin llamar"));
    case CollectOutcome::LineFailed:
        return translator.translate(QStringLiteral("Línea detenida"));
    default:
        // A download's own end, in the journal's words.
        return journalOutcomeText(translator, collectOutcomeName(outcome));
    }
}

} // namespace tvq52
