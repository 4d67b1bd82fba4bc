#include "core/canonical_record.h"

#include <QByteArrayView>
#include <QDate>
#include <QDateTime>
#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace tvq52 {

namespace {

// The text of a value as the journal has always made it, from the value's
// QVariant: the reference the quick ways below must match byte for byte.
QString variantText(ColumnType type, const QVariant& value, int version)
{
    if (!value.isValid() || value.isNull())
        return {};
    // A text where a number belongs (only SQLite keeps one) is shown as it is.
    const bool text = value.typeId() == QMetaType::QString;
    switch (type) {
    case ColumnType::Single:
        if (version < 2)
            return QString::asprintf("%.1f", double(value.toFloat()));
        if (text) {
            bool number = false;
            value.toString().toDouble(&number);
            if (!number)
                return value.toString();
        }
        return QString::asprintf("%.9g", double(value.toFloat()));
    case ColumnType::Date:
        if (value.typeId() == QMetaType::QDate)
            return value.toDate().toString(Qt::ISODate);
        if (value.typeId() == QMetaType::QDateTime)
            return value.toDateTime().date().toString(Qt::ISODate);
        return value.toString().left(10);
    case ColumnType::Boolean:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case ColumnType::Long:
    case ColumnType::Short:
    case ColumnType::Byte:
        if (version >= 2 && (text || value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float)) {
            const double d = value.toDouble();
            if (text || d != double(qint64(d)))
                return text ? value.toString() : QString::number(d, 'g', 17);
        }
        return QString::number(value.toLongLong());
    case ColumnType::Text:
        return value.toString();
    }
    return value.toString();
}

QVariant variantOf(const StoredValue& v)
{
    switch (v.kind) {
    case StoredValue::Kind::Integer:
        return QVariant(qlonglong(v.integer));
    case StoredValue::Kind::Real:
        return QVariant(v.real);
    case StoredValue::Kind::Text:
        return QVariant(QString::fromUtf8(v.bytes.data(), qsizetype(v.bytes.size())));
    case StoredValue::Kind::Blob:
        return QVariant(QByteArray(v.bytes.data(), qsizetype(v.bytes.size())));
    case StoredValue::Kind::Null:
        break;
    }
    return QVariant();
}

// Whether the ninth significant digit of `f` may sit on an exact tie:
// std::to_chars rounds a tie to even, Qt's "%.9g" away from zero. A float's
// exact decimal ends F digits after the point, so a tie there needs exactly
// ten significant digits.
bool mayBeTie(float f)
{
    if (f == 0)
        return false;
    const auto bits = std::bit_cast<quint32>(f);
    const int biased = int(bits >> 23 & 0xFF);
    const quint32 mantissa = (bits & 0x7FFFFF) | (biased > 0 ? 0x800000 : 0);
    const int exponent = std::max(biased, 1) - 150 + std::countr_zero(mantissa);
    if (exponent >= 0)
        return std::fabs(f) >= 1e9f; // an integer: ten digits or more
    // The decimal exponent is within one of the binary one's: most values
    // are told apart without a logarithm.
    const int decimal = int(std::floor((std::max(biased, 1) - 127) * 0.30102999566398120));
    if (9 + exponent < decimal - 1 || 9 + exponent > decimal + 1)
        return false;
    return -exponent + int(std::floor(std::log10(std::fabs(double(f))))) + 1 == 10;
}

// UTF-8 that decodes and encodes back to itself: valid, and without the
// byte-order mark that decoding drops.
bool isUtf8(std::string_view t)
{
    for (const char c : t)
        if (static_cast<unsigned char>(c) >= 0x80)
            return !t.starts_with("\xEF\xBB\xBF") && QByteArrayView(t.data(), qsizetype(t.size())).isValidUtf8();
    return true;
}

} // namespace

CanonicalEncoder::CanonicalEncoder() = default;
CanonicalEncoder::~CanonicalEncoder() = default;

void CanonicalEncoder::formatSingle(std::string& out, float f)
{
    char buffer[64];
    size_t size = 0;
    if (f == 0) {
        buffer[size++] = '0'; // Qt writes -0 as "0", as the journal always has
    } else if (std::isfinite(f) && !mayBeTie(f)) {
        size = size_t(std::to_chars(buffer, buffer + sizeof buffer, double(f), std::chars_format::general, 9).ptr
                      - buffer);
    } else {
        const QByteArray text = QString::asprintf("%.9g", double(f)).toUtf8();
        size = std::min(size_t(text.size()), sizeof buffer);
        std::memcpy(buffer, text.constData(), size);
    }
    out.append(buffer, size);
    if (size > sizeof(SingleText::text))
        return;
    if (!singles_)
        singles_ = std::make_unique<SingleText[]>(size_t(1) << kSingleSlotBits);
    SingleText& known = singles_[singleSlot(std::bit_cast<quint32>(f))];
    known.used = true;
    known.bits = std::bit_cast<quint32>(f);
    known.size = quint8(size);
    std::memcpy(known.text, buffer, size);
}

// What append() leaves: the same rules, for every other value.
void CanonicalEncoder::appendOther(std::string& out, ColumnType type, const StoredValue& v, int version)
{
    const bool integral = type == ColumnType::Long || type == ColumnType::Short || type == ColumnType::Byte;
    switch (v.kind) {
    case StoredValue::Kind::Null:
        return;
    case StoredValue::Kind::Integer: {
        if (type == ColumnType::Boolean) {
            out += v.integer != 0 ? '1' : '0';
            return;
        }
        // A whole number in a Single is written as the float it stands for:
        // SQLite may keep a REAL that is one as an integer.
        if (type == ColumnType::Single) {
            if (version < 2)
                break;
            appendSingle(out, float(v.integer));
            return;
        }
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, v.integer).ptr;
        out.append(digits, size_t(type == ColumnType::Date ? std::min<qsizetype>(end - digits, 10) : end - digits));
        return;
    }
    case StoredValue::Kind::Real:
        break; // append() took every single it can write quickly
    case StoredValue::Kind::Text:
        // A text that is not UTF-8 is hashed as its decoded form.
        if (!(type == ColumnType::Text || type == ColumnType::Date || (integral && version >= 2)) || !isUtf8(v.bytes))
            break;
        if (type != ColumnType::Date || v.bytes.size() <= 10) {
            out.append(v.bytes);
            return;
        }
        // A date's first ten characters: bytes, while they are ASCII.
        if (std::all_of(v.bytes.begin(), v.bytes.begin() + 10,
                        [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
            out.append(v.bytes.substr(0, 10));
            return;
        }
        break;
    case StoredValue::Kind::Blob:
        break;
    }
    out += variantText(type, variantOf(v), version).toStdString();
}

void CanonicalEncoder::append(std::string& out, ColumnType type, const QVariant& value, int version)
{
    if (!value.isValid() || value.isNull())
        return;
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return append(out, type, StoredValue::ofInteger(value.toLongLong()), version);
    case QMetaType::Double:
        return append(out, type, StoredValue::ofReal(value.toDouble()), version);
    case QMetaType::QString:
        if (type == ColumnType::Text || type == ColumnType::Date
            || (version >= 2 && type != ColumnType::Single && type != ColumnType::Boolean)) {
            const QByteArray utf8 = value.toString().toUtf8();
            return append(out, type, StoredValue::ofText(std::string_view(utf8.constData(), size_t(utf8.size()))),
                          version);
        }
        break;
    default:
        break;
    }
    out += variantText(type, value, version).toStdString();
}

QString canonicalText(ColumnType type, const QVariant& value, int version)
{
    static thread_local CanonicalEncoder encoder;
    static thread_local std::string text;
    text.clear();
    encoder.append(text, type, value, version);
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

} // namespace tvq52
