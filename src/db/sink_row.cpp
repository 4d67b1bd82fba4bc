#include "db/sink_row.h"

#include "db/journal_codec.h"
#include "db/row_sink.h"

#include <QDate>
#include <algorithm>

namespace tvq52 {

void SinkRow::grow()
{
    values_.resize(std::max<size_t>(64, values_.size() * 2));
}

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

void RowDigest::append(const ColumnDef& c, const SinkRow& row, int at, int version, std::string& out)
{
    if (at >= 0)
        encoder_.append(out, c.type, row.stored(size_t(at)), version);
}

// The row's canonical text written in place, for the values a record
// mostly holds; false for any other, which append() writes.
bool RowDigest::quickText(const SinkRow& row)
{
    const size_t columns = byTableColumn_.size();
    text_.resize(columns * (CanonicalEncoder::kQuickRoom + 1) + row.textBytes());
    char* at = text_.data();
    for (size_t i = 0; i < columns; ++i) {
        if (i > 0)
            *at++ = canonical::kFieldSeparator;
        const int from = byTableColumn_[i];
        if (from < 0)
            continue;
        at = encoder_.appendQuick(at, table_->columns[i].type, row.stored(size_t(from)), canonical::kCurrentVersion);
        if (!at)
            return false;
    }
    text_.resize(size_t(at - text_.data()));
    return true;
}

void RowDigest::computeRaw(const SinkRow& row, std::string_view* key, const unsigned char** digest)
{
    key_.clear();
    for (size_t k = 0; k < byKey_.size(); ++k) {
        if (k > 0)
            key_.push_back(canonical::kKeySeparator);
        append(*keyColumns_[k], row, byKey_[k], canonical::kKeyVersion, key_);
    }
    if (!quickText(row)) {
        text_.clear();
        for (size_t i = 0; i < byTableColumn_.size(); ++i) {
            if (i > 0)
                text_.push_back(canonical::kFieldSeparator);
            append(table_->columns[i], row, byTableColumn_[i], canonical::kCurrentVersion, text_);
        }
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
