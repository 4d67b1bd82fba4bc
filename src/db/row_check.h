#pragma once

#include "db/schema.h"

#include <QStringView>
#include <QVariant>
#include <utility>

struct sqlite3;

namespace tvq52 {

// Why a value may not be stored in its column.
enum class ValueFault { None, WrongType, OutOfRange, NotADate, NotATime, NotABit, TooLong, NoKey, ControlCharacter };

// The longest note (a column without a width) a row may carry.
inline constexpr int kMemoMaxChars = 65535;

// The one check of a value bound for a record table, whether it comes from
// an exchange file or from another database: `value` in the form SQLite keeps
// it (integers, doubles, "yyyy-mm-dd" dates, texts; null for none). Key
// columns must have a value; the times that key a record ("hh:nn") must be
// times, so that one moment cannot be stored twice under two spellings.
// A text holds no NUL: one backend would keep it, the other refuse it.
ValueFault checkStoredValue(const TableDef& table, const ColumnDef& column, const QVariant& value);

// The start and end times of records and the time of an event, all keys or
// read with them.
bool isRecordTime(const ColumnDef& column);

// The first control character (U+0000..U+001F, U+007F..U+009F) of `text`,
// or -1.
qsizetype controlCharacterAt(QStringView text);

// The range of an integer column (Long, Short or Byte).
std::pair<qint64, qint64> integerRange(ColumnType type);

// The most characters a stored text of `column` may have.
int maxTextChars(const ColumnDef& column);

// Registers tvq52_fits(table, column, value) on a SQLite connection: 1 when
// checkStoredValue passes for the table and column of those places in
// schemaTables(), else 0. Statements that copy rows filter with it.
bool registerFitsFunction(sqlite3* db);
// The call of that function for `valueExpression` in `column` of `table`.
QString fitsCall(const TableDef& table, const ColumnDef& column, const QString& valueExpression);

} // namespace tvq52
