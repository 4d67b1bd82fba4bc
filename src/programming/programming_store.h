#pragma once

#include "programming/programming_record.h"

#include <QString>
#include <optional>

namespace tvq52 {

class Database;
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

// The browser's queries over Programacion, each one indexed step that gives
// the one serial it looks for (or nothing, with `error` set on a failure).
enum class SerialStep { First, After, Before, Equal };
std::optional<qint32> unitSerial(Database& database, SerialStep step, qint32 serial, QString* error);
// The lowest serial whose `column` text contains `text`, case folded, quotes
// and wildcards taken literally; dates are read "dd/mm/yy" as shown.
std::optional<qint32> firstUnitContaining(Database& database, const QString& column, const QString& text,
                                          QString* error);

} // namespace tvq52
