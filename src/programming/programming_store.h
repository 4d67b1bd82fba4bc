#pragma once

#include "programming/programming_record.h"

#include <QString>
#include <optional>

namespace tvq52 {

class Row;
class Store;

struct StoredProgramming {
    ProgrammingRecord record;
    ProgIntervals intervals;
};

// The Programacion row of a record, without the totals columns; CMI only
// from version 4.0 on.
Row programmingRow(const ProgrammingRecord& record);
ProgrammingRecord recordFromRow(const Row& row);

// Loads the programming of one unit with its 30 intervals; intervals that
// have no row are unused. Nothing when the unit has no Programacion row.
std::optional<StoredProgramming> CarregaProgramacio(const Store& store, qint32 serial);

// Updates the unit's row, or adds it with today's totals stamp and zero
// counters, then writes its 30 interval rows; all or nothing.
bool GrabaProgramacio(Store& store, const ProgrammingRecord& record, const ProgIntervals& intervals,
                      QString* error = nullptr);

} // namespace tvq52
