#pragma once

#include "records/recorded_data.h"

#include <QString>

namespace tvq52 {

class Translator;

// The name of a kind of record as the window's tabs say it.
QString recordKindTitle(const Translator& translator, RecordKind kind);

// A journal entry's counts, one line per kind that has any:
// "Registros Leq: 960 nuevos, 0 reescritos, 0 rechazados".
QString journalCountsText(const Translator& translator, const QString& storedCounts);

} // namespace tvq52
