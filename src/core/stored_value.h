#pragma once

#include <QStringView>
#include <QVariant>
#include <QtGlobal>
#include <string_view>
#include <utility>

namespace tvq52 {

// Storage kinds, by the column-name prefix.
enum class ColumnType {
    Long,    // L: 32-bit signed
    Short,   // I: 16-bit signed
    Byte,    // By: 0..255
    Single,  // S: 32-bit float
    Boolean, // Bo, CMI
    Date,    // D: calendar date, stored "yyyy-mm-dd"
    Text,    // T: text of `width` characters (0 = memo)
};

struct ColumnDef {
    const char* name;
    ColumnType type;
    int width = 0;
};

// A value in the form a database hands it back: an integer, a double, text
// as UTF-8 bytes, or bytes; the text and bytes belong to the caller.
struct StoredValue {
    enum class Kind : quint8 { Null, Integer, Real, Text, Blob };
    Kind kind = Kind::Null;
    qint64 integer = 0;
    double real = 0;
    std::string_view bytes;

    static StoredValue null() { return {}; }
    static StoredValue ofInteger(qint64 v) { return {Kind::Integer, v, 0, {}}; }
    static StoredValue ofReal(double v) { return {Kind::Real, 0, v, {}}; }
    static StoredValue ofText(std::string_view utf8) { return {Kind::Text, 0, 0, utf8}; }
    static StoredValue ofBlob(std::string_view b) { return {Kind::Blob, 0, 0, b}; }
};

// Why a value may not be stored in its column.
enum class ValueFault { None, WrongType, OutOfRange, NotADate, NotATime, NotABit, TooLong, NoKey, ControlCharacter };

// The longest note (a column without a width) a row may carry.
inline constexpr int kMemoMaxChars = 65535;

// What the check of a column needs beyond its kind, found once per column.
struct ColumnRole {
    bool key = false;        // a row needs a value here
    bool recordTime = false; // an "hh:nn" that keys a record
};

// The start and end times of records and the time of an event, all keys or
// read with them.
bool isRecordTime(const ColumnDef& column);

// The forms of a stored date ("yyyy-mm-dd", a day of the calendar from
// year 1) and of a record's time ("hh:nn"), alike for UTF-8 bytes and
// UTF-16 code units: the characters that matter are all ASCII. Inline: a
// merge checks some in every row.
namespace text_form {

template <class Unit>
int twoDigits(const Unit* at)
{
    const auto a = static_cast<unsigned>(at[0]), b = static_cast<unsigned>(at[1]);
    return a - '0' <= 9u && b - '0' <= 9u ? int(a - '0') * 10 + int(b - '0') : -1;
}

template <class Unit>
bool isClockTime(const Unit* t, qsizetype size)
{
    if (size != 5 || t[2] != Unit(':'))
        return false;
    const int h = twoDigits(t), m = twoDigits(t + 3);
    return h >= 0 && h < 24 && m >= 0 && m < 60;
}

template <class Unit>
bool isStoredDate(const Unit* t, qsizetype size)
{
    if (size != 10 || t[4] != Unit('-') || t[7] != Unit('-'))
        return false;
    const int c = twoDigits(t), y = twoDigits(t + 2), m = twoDigits(t + 5), d = twoDigits(t + 8);
    if (c < 0 || y < 0 || m < 1 || m > 12 || d < 1)
        return false;
    const int year = c * 100 + y;
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    const int days = m == 2 ? (leap ? 29 : 28) : 30 + ((m + (m >> 3)) & 1);
    return year >= 1 && d <= days;
}

} // namespace text_form

// The one check of a value bound for a table, whether it comes from an
// exchange file, another database or a download. Key columns must have a
// value; the times that key a record must be "hh:nn", so that one moment
// cannot be stored twice under two spellings. A text holds no NUL and is
// UTF-8: one backend would keep such a text, the other refuse it.
ValueFault checkValue(const ColumnDef& column, ColumnRole role, const StoredValue& value);
// checkValue() with the kinds a stored record mostly holds decided here,
// inline: a merge checks a million rows of some thirty values.
inline ValueFault checkValueQuick(const ColumnDef& column, ColumnRole role, const StoredValue& value)
{
    if (value.kind == StoredValue::Kind::Null)
        return role.key ? ValueFault::NoKey : ValueFault::None;
    if (value.kind == StoredValue::Kind::Integer) {
        const qint64 v = value.integer;
        switch (column.type) {
        case ColumnType::Long:
            return v < -2147483648LL || v > 2147483647LL ? ValueFault::OutOfRange : ValueFault::None;
        case ColumnType::Short:
            return v < -32768 || v > 32767 ? ValueFault::OutOfRange : ValueFault::None;
        case ColumnType::Byte:
            return v < 0 || v > 255 ? ValueFault::OutOfRange : ValueFault::None;
        case ColumnType::Boolean:
            return v == 0 || v == 1 || v == -1 ? ValueFault::None : ValueFault::NotABit;
        case ColumnType::Single:
            return ValueFault::None; // any integer is within a single's range
        default:
            break;
        }
    } else if (value.kind == StoredValue::Kind::Real && column.type == ColumnType::Single) {
        // Written so that NaN fails too.
        return value.real >= -3.4028234663852886e38 && value.real <= 3.4028234663852886e38 ? ValueFault::None
                                                                                            : ValueFault::OutOfRange;
    }
    return checkValue(column, role, value);
}
// The same for a QVariant: the database's kinds (integers, doubles, texts
// with "yyyy-mm-dd" dates), plus QDate for dates and bool for bits.
ValueFault checkValue(const ColumnDef& column, ColumnRole role, const QVariant& value);

// The first control character (U+0000..U+001F, U+007F..U+009F) of `text`,
// or -1.
qsizetype controlCharacterAt(QStringView text);

// The range of an integer column (Long, Short or Byte).
std::pair<qint64, qint64> integerRange(ColumnType type);

// The most characters a stored text of `column` may have.
int maxTextChars(const ColumnDef& column);

} // namespace tvq52
