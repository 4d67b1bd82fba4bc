#pragma once

#include <QString>
#include <cstdint>

namespace tvq52 {

class Translator;
enum class CollectOutcome : std::uint8_t;

// A journal entry's outcome word ("completed", "stopped", ...) in the
// language `guru` shows; an unknown word is shown as it is.
QString journalOutcomeText(const Translator& guru, const QString& outcome);
// How a unit of a collect round ended, in the language `guru` shows.
QString collectOutcomeText(const Translator& guru, CollectOutcome outcome);

} // namespace tvq52
