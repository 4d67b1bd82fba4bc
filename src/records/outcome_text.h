#pragma once

#include <QString>
#include <cstdint>

namespace tvq52 {

class Translator;
struct JournalEntry;
enum class CollectOutcome : std::uint8_t;

// A journal entry's outcome word ("completed", "stopped", ...) in the
// language `translator` shows; an unknown word is shown as it is.
QString journalOutcomeText(const Translator& translator, const QString& outcome);
// A journal entry's message in the language `translator` shows, when the entry
// kept what it was made of; else as it was stored.
QString journalMessageText(const Translator& translator, const JournalEntry& entry);
// How a unit of a collect round ended, in the language `translator` shows.
QString collectOutcomeText(const Translator& translator, CollectOutcome outcome);

} // namespace tvq52
