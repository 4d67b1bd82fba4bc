#pragma once

#include <QString>
#include <cstdint>

namespace tvq52 {

class Translator;
struct JournalEntry;
enum class CollectOutcome : std::uint8_t;

// A journal entry's outcome word ("completed", "stopped", ...) in the
// language `guru` shows; an unknown word is shown as it is.
QString journalOutcomeText(const Translator& guru, const QString& outcome);
// A journal entry's message in the language `guru` shows, when the entry
// kept what it was made of; else as it was stored.
QString journalMessageText(const Translator& guru, const JournalEntry& entry);
// How a unit of a collect round ended, in the language `guru` shows.
QString collectOutcomeText(const Translator& guru, CollectOutcome outcome);

} // namespace tvq52
