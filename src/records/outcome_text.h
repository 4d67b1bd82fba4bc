#pragma once

#include <QString>

namespace tvq52 {

class Translator;

// A journal entry's outcome word ("completed", "stopped", ...) in the
// language `guru` shows; an unknown word is shown as it is.
QString journalOutcomeText(const Translator& guru, const QString& outcome);

} // namespace tvq52
