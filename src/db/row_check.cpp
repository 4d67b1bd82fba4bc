#include "db/row_check.h"

#include <QDate>
#include <cmath>
#include <cstring>
#include <limits>
#include <sqlite3.h>

namespace tvq52 {

namespace {

bool isInteger(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return true;
    default:
        return false;
    }
}

int digits(QStringView s, qsizetype at)
{
    const char16_t a = s[at].unicode(), b = s[at + 1].unicode();
    if (a < u'0' || a > u'9' || b < u'0' || b > u'9')
        return -1;
    return (a - u'0') * 10 + (b - u'0');
}

bool isClockTime(QStringView t)
{
    if (t.size() != 5 || t[2] != u':')
        return false;
    const int h = digits(t, 0), m = digits(t, 3);
    return h >= 0 && h < 24 && m >= 0 && m < 60;
}

bool isStoredDate(QStringView t)
{
    if (t.size() != 10 || t[4] != u'-' || t[7] != u'-')
        return false;
    const int c = digits(t, 0), y = digits(t, 2), m = digits(t, 5), d = digits(t, 8);
    return c >= 0 && y >= 0 && m >= 0 && d >= 0 && c * 100 + y >= 1 && QDate::isValid(c * 100 + y, m, d);
}

qsizetype codePoints(const QString& s)
{
    qsizetype n = 0;
    for (qsizetype i = 0; i < s.size(); ++i)
        if (!s.at(i).isLowSurrogate())
            ++n;
    return n;
}

} // namespace

bool isRecordTime(const ColumnDef& c)
{
    return std::strcmp(c.name, "THora") == 0 || std::strcmp(c.name, "THoraInicio") == 0
        || std::strcmp(c.name, "THoraFinal") == 0;
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

ValueFault checkStoredValue(const TableDef& table, const ColumnDef& c, const QVariant& v)
{
    if (!v.isValid() || v.isNull())
        return table.isKey(c) ? ValueFault::NoKey : ValueFault::None;
    switch (c.type) {
    case ColumnType::Long:
    case ColumnType::Short:
    case ColumnType::Byte: {
        if (!isInteger(v))
            return ValueFault::WrongType;
        const auto [min, max] = integerRange(c.type);
        const qint64 n = v.toLongLong();
        return n < min || n > max ? ValueFault::OutOfRange : ValueFault::None;
    }
    case ColumnType::Single: {
        if (!isInteger(v) && v.typeId() != QMetaType::Double && v.typeId() != QMetaType::Float)
            return ValueFault::WrongType;
        // A single holds no more than this; beyond it a level means nothing.
        const double d = v.toDouble();
        return !std::isfinite(d) || std::fabs(d) > double(std::numeric_limits<float>::max()) ? ValueFault::OutOfRange
                                                                                             : ValueFault::None;
    }
    case ColumnType::Boolean: {
        if (!isInteger(v) && v.typeId() != QMetaType::Bool)
            return ValueFault::NotABit;
        const qint64 n = v.toLongLong();
        return n == 0 || n == 1 || n == -1 ? ValueFault::None : ValueFault::NotABit;
    }
    case ColumnType::Date:
        if (v.typeId() == QMetaType::QDate)
            return v.toDate().isValid() && v.toDate().year() >= 1 && v.toDate().year() <= 9999 ? ValueFault::None
                                                                                               : ValueFault::NotADate;
        return v.typeId() == QMetaType::QString && isStoredDate(v.toString()) ? ValueFault::None : ValueFault::NotADate;
    case ColumnType::Text: {
        if (v.typeId() != QMetaType::QString)
            return ValueFault::WrongType;
        const QString s = v.toString();
        if (s.contains(QChar(0)))
            return ValueFault::ControlCharacter;
        if (codePoints(s) > maxTextChars(c))
            return ValueFault::TooLong;
        if (isRecordTime(c) && !isClockTime(s))
            return ValueFault::NotATime;
        return ValueFault::None;
    }
    }
    return ValueFault::WrongType;
}

namespace {

void fitsFunction(sqlite3_context* context, int, sqlite3_value** args)
{
    const std::vector<TableDef>& tables = schemaTables();
    const sqlite3_int64 t = sqlite3_value_int64(args[0]), c = sqlite3_value_int64(args[1]);
    if (t < 0 || t >= sqlite3_int64(tables.size()) || c < 0 || c >= sqlite3_int64(tables[size_t(t)].columns.size())) {
        sqlite3_result_error(context, "tvq52_fits: no such column", -1);
        return;
    }
    QVariant v;
    sqlite3_value* value = args[2];
    switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
        v = QVariant(qlonglong(sqlite3_value_int64(value)));
        break;
    case SQLITE_FLOAT:
        v = QVariant(sqlite3_value_double(value));
        break;
    case SQLITE_TEXT:
        v = QVariant(
            QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_value_text(value)), sqlite3_value_bytes(value)));
        break;
    case SQLITE_BLOB:
        v = QVariant(QByteArray(static_cast<const char*>(sqlite3_value_blob(value)), sqlite3_value_bytes(value)));
        break;
    default:
        break;
    }
    const TableDef& table = tables[size_t(t)];
    sqlite3_result_int(context, checkStoredValue(table, table.columns[size_t(c)], v) == ValueFault::None ? 1 : 0);
}

} // namespace

bool registerFitsFunction(sqlite3* db)
{
    return db
        && sqlite3_create_function_v2(db, "tvq52_fits", 3, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, fitsFunction,
                                      nullptr, nullptr, nullptr)
        == SQLITE_OK;
}

QString fitsCall(const TableDef& table, const ColumnDef& column, const QString& valueExpression)
{
    const TableDef* first = schemaTables().data();
    return QStringLiteral("tvq52_fits(%1, %2, %3)")
        .arg(&table - first)
        .arg(&column - table.columns.data())
        .arg(valueExpression);
}

} // namespace tvq52
