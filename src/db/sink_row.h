#pragma once

#include "core/canonical_record.h"
#include "core/sha256.h"
#include "db/schema.h"

#include <QByteArray>
#include <QVariant>
#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace tvq52 {

struct SinkTable;

// One value of a row on its way into the database, as the database keeps
// it: an integer (Booleans as 0/1), a double (singles already rounded), or
// UTF-8 text in its row's buffer (dates as "yyyy-mm-dd").
struct SinkValue {
    enum class Kind : quint8 { Null, Integer, Real, Text };
    Kind kind = Kind::Null;
    qint64 integer = 0;
    double real = 0;
    size_t offset = 0; // of a text in its row's buffer
    size_t size = 0;
};

// A row for a sink, built without a QVariant per field: a million rows
// spend more time in QVariant and QString than in the database.
class SinkRow {
public:
    void clear()
    {
        values_.clear();
        text_.clear(); // keeps its capacity
    }
    void addNull() { values_.push_back(SinkValue{}); }
    void addInteger(qint64 v) { values_.push_back(SinkValue{SinkValue::Kind::Integer, v, 0, 0, 0}); }
    void addReal(double v) { values_.push_back(SinkValue{SinkValue::Kind::Real, 0, v, 0, 0}); }
    void addText(std::string_view bytes)
    {
        values_.push_back(SinkValue{SinkValue::Kind::Text, 0, 0, text_.size(), bytes.size()});
        text_.append(bytes);
    }
    // A text written in place: startText(), then appendText() for its
    // pieces; the last value's size grows with them.
    void startText() { values_.push_back(SinkValue{SinkValue::Kind::Text, 0, 0, text_.size(), 0}); }
    void appendText(std::string_view bytes)
    {
        text_.append(bytes);
        values_.back().size += bytes.size();
    }
    void appendText(char c)
    {
        text_.push_back(c);
        ++values_.back().size;
    }

    size_t size() const { return values_.size(); }
    // The bytes of all its texts.
    size_t textBytes() const { return text_.size(); }
    const SinkValue& operator[](size_t i) const { return values_[i]; }
    bool isNull(size_t i) const { return values_[i].kind == SinkValue::Kind::Null; }
    std::string_view text(size_t i) const { return std::string_view(text_).substr(values_[i].offset, values_[i].size); }
    // The value as the checks and the canonical encoder take it.
    StoredValue stored(size_t i) const
    {
        const SinkValue& v = values_[i];
        switch (v.kind) {
        case SinkValue::Kind::Integer:
            return StoredValue::ofInteger(v.integer);
        case SinkValue::Kind::Real:
            return StoredValue::ofReal(v.real);
        case SinkValue::Kind::Text:
            return StoredValue::ofText(text(i));
        case SinkValue::Kind::Null:
            break;
        }
        return StoredValue::null();
    }
    // The value as a QVariant of the kind SQLite would give back.
    QVariant variant(size_t i) const;

private:
    std::vector<SinkValue> values_;
    std::string text_;
};

// The same row from QVariants of the kinds SQLite keeps (QDate as
// "yyyy-mm-dd").
void fillSinkRow(const QVariantList& values, SinkRow& row);

// The journal's listing of a row a sink adds: its key as the journal
// writes it and the hex SHA-256 of its canonical text, the same bytes as
// keyText() and canonicalRowText() give for the row as stored, without
// building the row.
class RowDigest {
public:
    explicit RowDigest(const SinkTable& table);
    // Whether the journal lists the rows of this table (the record tables).
    bool listed() const { return listed_; }
    // The key and the digest in hex, as a one-record line holds them.
    void compute(const SinkRow& row, QByteArray* key, QByteArray* digest);
    // The key and the raw 32 bytes of the digest, as a packed line holds
    // them; both valid until the next call.
    void computeRaw(const SinkRow& row, std::string_view* key, const unsigned char** digest);

private:
    void append(const ColumnDef& column, const SinkRow& row, int at, int version, std::string& out);
    bool quickText(const SinkRow& row);

    const TableDef* table_;
    bool listed_ = false;
    std::vector<const ColumnDef*> columns_; // of the sink's row, in its order
    std::vector<int> byTableColumn_;        // for each column of the table: where the row has it, or -1
    std::vector<int> byKey_;                // for each key column of the table: the same
    std::vector<const ColumnDef*> keyColumns_;
    std::string key_;
    std::string text_;
    std::array<unsigned char, 32> raw_{};
    CanonicalEncoder encoder_;
};

} // namespace tvq52
