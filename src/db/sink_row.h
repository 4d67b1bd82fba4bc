#pragma once

#include "core/canonical_record.h"
#include "core/sha256.h"
#include "db/schema.h"

#include <QByteArray>
#include <QVariant>
#include <array>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tvq52 {

struct SinkTable;

// One value of a row on its way into the database, as the database keeps
// it: an integer (Booleans as 0/1), a double (singles already rounded), or
// UTF-8 text in its row's buffer (dates as "yyyy-mm-dd").
struct SinkValue {
    enum class Kind : quint8 { Null, Integer, Real, Text };
    // The one its kind names: a batch keeps a copy of each row, and a
    // million rows of 35 values are copied whole.
    union {
        qint64 integer = 0;
        double real;
    };
    quint32 offset = 0; // of a text in its row's buffer
    quint32 size = 0;
    Kind kind = Kind::Null;

    static SinkValue ofInteger(qint64 v)
    {
        SinkValue s;
        s.kind = Kind::Integer;
        s.integer = v;
        return s;
    }
    static SinkValue ofReal(double v)
    {
        SinkValue s;
        s.kind = Kind::Real;
        s.real = v;
        return s;
    }
    static SinkValue ofText(size_t offset, size_t size)
    {
        SinkValue s;
        s.kind = Kind::Text;
        s.offset = quint32(offset);
        s.size = quint32(size);
        return s;
    }
};

// A row for a sink, built without a QVariant per field: a million rows
// spend more time in QVariant and QString than in the database.
class SinkRow {
public:
    SinkRow() = default;
    SinkRow(const SinkRow& other) { *this = other; }
    SinkRow(SinkRow&& other) noexcept { *this = std::move(other); }
    SinkRow& operator=(SinkRow&& other) noexcept
    {
        if (this != &other) {
            values_ = std::move(other.values_);
            text_ = std::move(other.text_);
            size_ = std::exchange(other.size_, 0);
            other.values_.clear();
        }
        return *this;
    }
    // Only the values in use; the room of both is kept.
    SinkRow& operator=(const SinkRow& other)
    {
        if (this != &other) {
            values_.assign(other.values_.begin(), other.values_.begin() + std::ptrdiff_t(other.size_));
            size_ = other.size_;
            text_ = other.text_;
        }
        return *this;
    }

    void clear()
    {
        size_ = 0;
        text_.clear(); // keeps its capacity
    }
    // A row of texts over 4 GB cannot be: a line of a file or a unit's frame is far shorter.
    void addNull() { next() = SinkValue{}; }
    void addInteger(qint64 v) { next() = SinkValue::ofInteger(v); }
    void addReal(double v) { next() = SinkValue::ofReal(v); }
    void addText(std::string_view bytes)
    {
        next() = SinkValue::ofText(text_.size(), bytes.size());
        text_.append(bytes);
    }
    // A text written in place: startText(), then appendText() for its
    // pieces; the last value's size grows with them.
    void startText() { next() = SinkValue::ofText(text_.size(), 0); }
    void appendText(std::string_view bytes)
    {
        text_.append(bytes);
        values_[size_ - 1].size += quint32(bytes.size());
    }
    void appendText(char c)
    {
        text_.push_back(c);
        ++values_[size_ - 1].size;
    }

    size_t size() const { return size_; }
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
    // The next value's place: written in place, as a row is built a
    // million times; values_ grows only out of line.
    SinkValue& next()
    {
        if (size_ == values_.size()) [[unlikely]]
            grow();
        return values_[size_++];
    }
    void grow();

    std::vector<SinkValue> values_; // the first size_ in use
    size_t size_ = 0;
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
