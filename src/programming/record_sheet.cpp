#include "programming/record_sheet.h"

#include "core/catalogue_ids.h"
#include "core/prompter.h"
#include "db/store.h"
#include "i18n/catalogue_message.h"
#include "i18n/translator.h"
#include "programming/field_checks.h"
#include "programming/programming_store.h"
#include "programming/programming_workflow.h"

namespace tvq52 {

RecordSheet::RecordSheet(Store* store, Prompter& prompter, const Translator& translator)
    : store_(store), prompter_(prompter), translator_(translator), record_(defaultProgramming())
{}

bool RecordSheet::offerToSaveChanges()
{
    if (record_.serial == 0 || !modified_)
        return true;
    switch (askToSaveEdits(prompter_, translator_)) {
    case Answer::Save:
        return save();
    case Answer::Discard:
        return true;
    default:
        return false;
    }
}

bool RecordSheet::checkAllFields()
{
    const FieldTexts texts = fieldTexts(record_);
    const QList<FieldFault> faults = fieldFaults(texts);
    if (faults.isEmpty())
        return true;
    // Nobody can correct a field here: say which ones are wrong and how.
    prompter_.show(translator_.translate(
                       QString::fromUtf8("La programación no se transmite; estos campos no pasan sus comprobaciones:"))
                       + QLatin1Char('\n') + faultLines(faults, texts, translator_),
                   MessageStyle::Critical);
    return false;
}

bool RecordSheet::save()
{
    if (!store_)
        return false;
    const Result<SaveOutcome> outcome = saveShownProgramming(*store_, record_, intervals_, loaded_, [&] {
        return askToOverwriteProgramming(prompter_, translator_, record_.serial);
    });
    if (!outcome)
        showError(prompter_, translator_, outcome.error());
    if (!outcome || *outcome != SaveOutcome::Saved)
        return false;
    modified_ = false;
    // What a unit holds is a fact and is kept as it is; what stops it going
    // back to a unit is said now, not at the next transmission.
    const FieldTexts texts = fieldTexts(record_);
    if (const QList<FieldFault> faults = fieldFaults(texts); !faults.isEmpty())
        prompter_.show(translator_.translate(QString::fromUtf8("Se guarda tal como está; no se podrá transmitir "
                                                              "mientras estos campos no pasen sus comprobaciones:"))
                           + QLatin1Char('\n') + faultLines(faults, texts, translator_),
                       MessageStyle::Exclamation);
    return true;
}

bool RecordSheet::loadStored(qint32 serial)
{
    if (!store_)
        return false;
    const auto loaded = loadProgramming(*store_, serial);
    if (!loaded || !*loaded)
        return false;
    const std::optional<StoredProgramming>& stored = *loaded;
    setRecord(stored->record, stored->intervals);
    loaded_.take(*store_, serial);
    return true;
}

void RecordSheet::showReceived(const ProgrammingRecord& record, const ProgIntervals& intervals, const QString&)
{
    record_ = record;
    intervals_ = intervals;
    modified_ = true;
}

void RecordSheet::transmissionProgress(int sent, int, qint64)
{
    sent_ = sent;
    ++progressCalls_;
}

void RecordSheet::setRecord(const ProgrammingRecord& record, const ProgIntervals& intervals)
{
    record_ = record;
    intervals_ = intervals;
    modified_ = false;
}

} // namespace tvq52
