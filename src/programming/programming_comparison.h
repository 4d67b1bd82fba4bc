#pragma once

#include "programming/programming_block.h"

namespace tvq52 {

class Translator;

// The listing of what differs between the window's record and a received
// programming (ComparisonText), lines ended by a carriage return alone; empty
// when nothing differs. Only the start dates of the intervals are compared.
QString comparisonText(const ProgrammingRecord& shown, const ProgIntervals& shownIntervals,
                       const ReceivedProgramming& received, const Translator& translator);

} // namespace tvq52
