#pragma once

#include "evidence/journal.h"

#include <QJsonObject>
#include <QString>

namespace tvq52 {

// One finding of the journal's verification as a line of the human output
// ("record edited: entry 4, Intervalos 52001 2026-03-05 22:00: ...") and as
// a --json object with an English key for its kind.
QString findingLine(const JournalFinding& finding);
QJsonObject findingJson(const JournalFinding& finding);

} // namespace tvq52
