#pragma once

#include "programming/programming_block.h"

namespace tvq52 {

// The window's record with a received programming taken over (what
// takeOverFromUnit puts into the fields); the header (serial number, dates,
// venue, version) stays. The language and the global correction only change
// when the reply can set them for a unit of `unitFirmware`.
ProgrammingRecord takeOverReceived(const ProgrammingRecord& shown, const ReceivedProgramming& received,
                                   const QString& unitFirmware);

// The seconds box text of a received action type: Leq5s gives "05".
QString receivedActionSeconds(const QString& actionText);

} // namespace tvq52
