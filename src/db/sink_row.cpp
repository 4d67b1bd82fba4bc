#include "db/sink_row.h"

#include "db/journal_codec.h"
#include "db/row_sink.h"

#include <QDate>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

namespace tvq52 {

QVariant SinkRow::variant(size_t i) const
{
    const SinkValue& v = values_[i];
    switch (v.kind) {
    case SinkValue::Kind::Null:
        return QVariant();
    case SinkValue::Kind::Integer:
        return QVariant(qlonglong(v.integer));
    case SinkValue::Kind::Real:
        return QVariant(v.real);
    case SinkValue::Kind::Text:
        break;
    }
    const std::string_view t = text(i);
    return QVariant(QString::fromUtf8(t.data(), qsizetype(t.size())));
}

void fillSinkRow(const QVariantList& values, SinkRow& row)
{
    row.clear();
    for (const QVariant& v : values) {
        if (v.isNull()) {
            row.addNull();
            continue;
        }
        const int type = v.typeId();
        if (type == QMetaType::Double || type == QMetaType::Float)
            row.addReal(v.toDouble());
        else if (type == QMetaType::QDate)
            row.addText(v.toDate().toString(Qt::ISODate).toStdString());
        else if (type == QMetaType::QString || !v.canConvert<qlonglong>())
            row.addText(v.toString().toStdString());
        else
            row.addInteger(v.toLongLong());
    }
}

namespace {

// Whether the ninth significant digit of `f` may sit on an exact tie:
// printf's "%.9g" rounds a tie to even, Qt's (which the journal uses) away
// from zero. A float's exact decimal ends F digits after the point, so a tie
// there needs exactly ten significant digits.
bool digestMayBeTie(float f)
{
    if (!std::isfinite(f) || f == 0)
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

} // namespace

RowDigest::RowDigest(const SinkTable& table) : table_(table.table), columns_(table.columns)
{
    auto where = [&](const char* name) {
        for (size_t i = 0; i < columns_.size(); ++i)
            if (qstricmp(columns_[i]->name, name) == 0)
                return int(i);
        return -1;
    };
    for (const char* t : journal_codec::kRecordTables)
        listed_ = listed_ || qstricmp(t, table_->name) == 0;
    for (const ColumnDef& c : table_->columns)
        byTableColumn_.push_back(where(c.name));
    for (const char* k : table_->key) {
        byKey_.push_back(where(k));
        keyColumns_.push_back(table_->column(QString::fromUtf8(k)));
    }
}

// What journal_codec::canonicalValue gives, for the values sinks carry;
// anything else goes through it.
void RowDigest::appendSingle(float f, std::string& out)
{
    constexpr int kSlotBits = 12;
    if (singles_.empty())
        singles_.resize(size_t(1) << kSlotBits);
    const auto bits = std::bit_cast<quint32>(f);
    SingleText& known = singles_[(bits * 2654435761u) >> (32 - kSlotBits)];
    if (known.size == 0 || known.bits != bits) {
        // As printf's "%.9g", which canonicalValue uses.
        known.bits = bits;
        known.size = quint8(std::to_chars(known.text, known.text + sizeof known.text, double(f),
                                          std::chars_format::general, 9)
                                .ptr
                            - known.text);
    }
    out.append(known.text, known.size);
}

void RowDigest::appendCanonical(const ColumnDef& c, const SinkRow& row, int at, int version, std::string& out)
{
    if (at < 0 || row.isNull(size_t(at)))
        return;
    const SinkValue& v = row[size_t(at)];
    char buffer[32];
    const bool integral = c.type == ColumnType::Long || c.type == ColumnType::Short || c.type == ColumnType::Byte;
    if (v.kind == SinkValue::Kind::Integer && integral) {
        out.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, v.integer).ptr);
    } else if (v.kind == SinkValue::Kind::Integer && c.type == ColumnType::Boolean) {
        out.push_back(v.integer != 0 ? '1' : '0');
    } else if (v.kind == SinkValue::Kind::Real && c.type == ColumnType::Single && version >= 2
               && !digestMayBeTie(float(v.real))) {
        appendSingle(float(v.real), out);
    } else if (v.kind == SinkValue::Kind::Text
               && (c.type == ColumnType::Text || (c.type == ColumnType::Date && v.size == 10))) {
        out.append(row.text(size_t(at)));
    } else {
        out.append(journal_codec::canonicalValue(c, row.variant(size_t(at)), version).toStdString());
    }
}

void RowDigest::computeRaw(const SinkRow& row, std::string_view* key, const unsigned char** digest)
{
    key_.clear();
    for (size_t k = 0; k < byKey_.size(); ++k) {
        if (k > 0)
            key_.push_back(' ');
        appendCanonical(*keyColumns_[k], row, byKey_[k], 1, key_);
    }
    text_.clear();
    for (size_t i = 0; i < byTableColumn_.size(); ++i) {
        if (i > 0)
            text_.push_back('\x1f');
        appendCanonical(table_->columns[i], row, byTableColumn_[i], journal_codec::kCurrentVersion, text_);
    }
    Sha256::hashInto(QByteArrayView(text_.data(), qsizetype(text_.size())), raw_.data());
    *key = key_;
    *digest = raw_.data();
}

void RowDigest::compute(const SinkRow& row, QByteArray* key, QByteArray* digest)
{
    std::string_view k;
    const unsigned char* raw = nullptr;
    computeRaw(row, &k, &raw);
    *key = QByteArray(k.data(), qsizetype(k.size()));
    *digest = QByteArray::fromRawData(reinterpret_cast<const char*>(raw), 32).toHex();
}

} // namespace tvq52
