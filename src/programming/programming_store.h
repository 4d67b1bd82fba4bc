#pragma once

#include "core/error.h"
#include "db/store.h"
#include "programming/programming_record.h"

#include <QString>
#include <functional>
#include <optional>

namespace tvq52 {

class Database;

struct StoredProgramming {
    ProgrammingRecord record;
    ProgIntervals intervals;
};

// The Programacion row of a record, without the totals columns; CMI only
// from version 4.0 on.
Row programmingRow(const ProgrammingRecord& record);
ProgrammingRecord recordFromRow(const Row& row);

// Loads the programming of one unit with its 30 intervals; intervals that
// have no row are unused. Nothing when the unit has no Programacion row; an
// error when its rows could not be read.
Result<std::optional<StoredProgramming>> loadProgramming(const Store& store, qint32 serial);

// Updates the unit's row, or adds it with today's totals stamp and zero
// counters, then writes its 30 interval rows; all or nothing.
Status saveProgramming(Store& store, const ProgrammingRecord& record, const ProgIntervals& intervals);

// Removes the unit with all its records and journals the deletion, in one
// transaction: when the entry cannot be written nothing is removed.
Status deleteUnitWithEntry(Database& database, qint32 serial);

// The unit's Programacion row as stored now; nothing when it has none.
Result<std::optional<Row>> storedProgrammingRow(const Store& store, qint32 serial);

enum class SaveOutcome { Saved, KeptOther };

// Saves like saveProgramming, checking first that nobody else saved the unit
// since `loaded` was read (nothing: the unit had no row then). The check and
// the write are one transaction, the row locked on a server. When the row
// changed, `overwrite` is asked, outside the transaction; false keeps the
// other save as it is.
Result<SaveOutcome> saveProgrammingOver(Store& store, const ProgrammingRecord& record, const ProgIntervals& intervals,
                                        const std::optional<Row>& loaded, const std::function<bool()>& overwrite);

// What the shown record was loaded over: the unit's row at that moment, to
// tell at save time whether another PC saved it meanwhile.
struct LoadedProgramming {
    qint32 serial = 0;
    std::optional<Row> row;
    void take(const Store& store, qint32 unit);
};

// A save of the shown record over what it was loaded over; a record of
// another unit than the one loaded is saved over that unit's row as it is now.
// After a save the saved row is what it stands on.
Result<SaveOutcome> saveShownProgramming(Store& store, const ProgrammingRecord& record, const ProgIntervals& intervals,
                                         LoadedProgramming& loaded, const std::function<bool()>& overwrite);

// The browser's queries over Programacion, each one indexed step that gives
// the one serial it looks for, nothing when there is none.
enum class SerialStep { First, After, Before, Equal };
Result<std::optional<qint32>> unitSerial(Database& database, SerialStep step, qint32 serial);
// The lowest serial whose `column` text contains `text`, case folded, quotes
// and wildcards taken literally; dates are read "dd/mm/yy" as shown.
Result<std::optional<qint32>> firstUnitContaining(Database& database, const QString& column, const QString& text);

} // namespace tvq52
