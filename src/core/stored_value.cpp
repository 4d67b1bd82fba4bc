#include "core/stored_value.h"

#include <QByteArrayView>
#include <QDate>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

namespace tvq52 {

namespace {

using text_form::isClockTime;
using text_form::isStoredDate;

// ASCII without a NUL: a unit is a character.
template <class Unit>
bool isPlain(const Unit* t, qsizetype size)
{
    for (qsizetype i = 0; i < size; ++i)
        if (static_cast<std::make_unsigned_t<Unit>>(t[i]) - 1u >= 0x7fu)
            return false;
    return true;
}

// Characters, not units: a UTF-8 continuation byte or a low surrogate
// carries on the one before it.
qsizetype codePoints(const char* t, qsizetype size)
{
    qsizetype n = 0;
    for (qsizetype i = 0; i < size; ++i)
        n += (static_cast<unsigned char>(t[i]) & 0xC0) != 0x80;
    return n;
}

qsizetype codePoints(const char16_t* t, qsizetype size)
{
    qsizetype n = 0;
    for (qsizetype i = 0; i < size; ++i)
        n += !QChar::isLowSurrogate(t[i]);
    return n;
}

ValueFault numberFault(const ColumnDef& c, const StoredValue& v);

template <class Unit>
ValueFault textFault(const ColumnDef& c, ColumnRole role, const Unit* t, qsizetype size)
{
    if (c.type == ColumnType::Date)
        return isStoredDate(t, size) ? ValueFault::None : ValueFault::NotADate;
    if (c.type != ColumnType::Text)
        return numberFault(c, StoredValue::ofBlob({}));
    qsizetype characters = size;
    if (!isPlain(t, size)) {
        if constexpr (sizeof(Unit) == 1)
            if (!QByteArrayView(t, size).isValidUtf8())
                return ValueFault::ControlCharacter;
        for (qsizetype i = 0; i < size; ++i)
            if (t[i] == 0)
                return ValueFault::ControlCharacter;
        characters = codePoints(t, size);
    }
    if (characters > maxTextChars(c))
        return ValueFault::TooLong;
    if (role.recordTime && !isClockTime(t, size))
        return ValueFault::NotATime;
    return ValueFault::None;
}

// A value that is not a text, in a column of any kind; most of a row's
// values are numbers.
Q_ALWAYS_INLINE ValueFault numberFault(const ColumnDef& c, const StoredValue& v)
{
    const bool integer = v.kind == StoredValue::Kind::Integer;
    switch (c.type) {
    case ColumnType::Long:
    case ColumnType::Short:
    case ColumnType::Byte: {
        if (!integer)
            return ValueFault::WrongType;
        const auto [min, max] = integerRange(c.type);
        return v.integer < min || v.integer > max ? ValueFault::OutOfRange : ValueFault::None;
    }
    case ColumnType::Single: {
        if (!integer && v.kind != StoredValue::Kind::Real)
            return ValueFault::WrongType;
        // A single holds no more than this; beyond it a level means nothing.
        const double d = integer ? double(v.integer) : v.real;
        return !std::isfinite(d) || std::fabs(d) > double(std::numeric_limits<float>::max()) ? ValueFault::OutOfRange
                                                                                             : ValueFault::None;
    }
    case ColumnType::Boolean:
        return integer && (v.integer == 0 || v.integer == 1 || v.integer == -1) ? ValueFault::None
                                                                                  : ValueFault::NotABit;
    case ColumnType::Date:
        return ValueFault::NotADate;
    case ColumnType::Text:
        return ValueFault::WrongType;
    }
    return ValueFault::WrongType;
}

} // namespace

bool isRecordTime(const ColumnDef& c)
{
    return std::strcmp(c.name, "THora") == 0 || std::strcmp(c.name, "THoraInicio") == 0
        || std::strcmp(c.name, "THoraFinal") == 0;
}

ValueFault checkValue(const ColumnDef& c, ColumnRole role, const StoredValue& v)
{
    switch (v.kind) {
    case StoredValue::Kind::Null:
        return role.key ? ValueFault::NoKey : ValueFault::None;
    case StoredValue::Kind::Text:
        return textFault(c, role, v.bytes.data(), qsizetype(v.bytes.size()));
    default:
        return numberFault(c, v);
    }
}

ValueFault checkValue(const ColumnDef& c, ColumnRole role, const QVariant& v)
{
    if (!v.isValid() || v.isNull())
        return checkValue(c, role, StoredValue::null());
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return numberFault(c, StoredValue::ofInteger(v.toLongLong()));
    case QMetaType::Double:
    case QMetaType::Float:
        return numberFault(c, StoredValue::ofReal(v.toDouble()));
    case QMetaType::QString: {
        const QString s = v.toString();
        return textFault(c, role, QStringView(s).utf16(), s.size());
    }
    case QMetaType::Bool:
        if (c.type == ColumnType::Boolean)
            return ValueFault::None;
        break;
    case QMetaType::QDate:
        if (c.type == ColumnType::Date) {
            const QDate d = v.toDate();
            return d.isValid() && d.year() >= 1 && d.year() <= 9999 ? ValueFault::None : ValueFault::NotADate;
        }
        break;
    default:
        break;
    }
    // Any other kind is no value of the column.
    return numberFault(c, StoredValue::ofBlob({}));
}

qsizetype controlCharacterAt(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F))
            return i;
    }
    return -1;
}

std::pair<qint64, qint64> integerRange(ColumnType type)
{
    if (type == ColumnType::Long)
        return {std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()};
    if (type == ColumnType::Short)
        return {std::numeric_limits<qint16>::min(), std::numeric_limits<qint16>::max()};
    return {0, 255};
}

int maxTextChars(const ColumnDef& column)
{
    return column.width > 0 ? column.width : kMemoMaxChars;
}

} // namespace tvq52
