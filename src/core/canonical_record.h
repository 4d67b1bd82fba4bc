#pragma once

#include "core/stored_value.h"

#include <QString>
#include <QVariant>
#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

namespace tvq52 {

// The canonical text of a record, which the journal hashes: each value's
// text in the table's column order, joined by kFieldSeparator; a key's
// values joined by kKeySeparator. Writing the journal, listing what a
// merge or an import adds and verifying all take it from here, so that one
// record has one text whichever way it came.
namespace canonical {

inline constexpr char kFieldSeparator = '\x1f';
inline constexpr char kKeySeparator = ' ';
// The form new entries hash records in; keys are always in form 1.
inline constexpr int kCurrentVersion = 2;
inline constexpr int kKeyVersion = 1;

} // namespace canonical

// Appends canonical texts of values as UTF-8. A value of the kind its
// column keeps takes the quick way; any other goes through the text of its
// QVariant, which is what the journal has always hashed.
class CanonicalEncoder {
public:
    CanonicalEncoder();
    ~CanonicalEncoder();
    CanonicalEncoder(const CanonicalEncoder&) = delete;
    CanonicalEncoder& operator=(const CanonicalEncoder&) = delete;

    // The values a record usually holds are written here, inline: a merge
    // or an import encodes some thirty of them per row.
    void append(std::string& out, ColumnType type, const StoredValue& value, int version)
    {
        switch (value.kind) {
        case StoredValue::Kind::Null:
            return;
        case StoredValue::Kind::Integer:
            if (type == ColumnType::Boolean) {
                out += value.integer != 0 ? '1' : '0';
                return;
            }
            if (type != ColumnType::Single && type != ColumnType::Date) {
                char digits[24];
                out.append(digits, std::to_chars(digits, digits + sizeof digits, value.integer).ptr);
                return;
            }
            break;
        case StoredValue::Kind::Real:
            // Not NaN, and a float: anything else is written the slow way.
            if (type == ColumnType::Single && version >= 2 && value.real >= -double(std::numeric_limits<float>::max())
                && value.real <= double(std::numeric_limits<float>::max())) {
                appendSingle(out, float(value.real));
                return;
            }
            break;
        case StoredValue::Kind::Text:
            if ((type == ColumnType::Text || (type == ColumnType::Date && value.bytes.size() == 10))
                && std::all_of(value.bytes.begin(), value.bytes.end(),
                               [](char c) { return static_cast<unsigned char>(c) - 1u < 0x7fu; })) {
                out.append(value.bytes);
                return;
            }
            break;
        case StoredValue::Kind::Blob:
            break;
        }
        appendOther(out, type, value, version);
    }
    void append(std::string& out, ColumnType type, const QVariant& value, int version);

    // Room appendQuick() needs for a value that is not a text; a text needs its size.
    static constexpr size_t kQuickRoom = 64;
    // The text append() makes, written at `at` for the values a record
    // mostly holds (no capacity to check, no call per byte: a merge writes
    // a million rows); nullptr for any other value, which append() takes.
    char* appendQuick(char* at, ColumnType type, const StoredValue& value, int version)
    {
        switch (value.kind) {
        case StoredValue::Kind::Null:
            return at;
        case StoredValue::Kind::Integer:
            if (type == ColumnType::Boolean) {
                *at = value.integer != 0 ? '1' : '0';
                return at + 1;
            }
            if (type != ColumnType::Single && type != ColumnType::Date)
                return std::to_chars(at, at + kQuickRoom, value.integer).ptr;
            // A whole number in a Single: the float it stands for, as append() writes it.
            if (type == ColumnType::Single && version >= 2)
                return singleAt(at, float(value.integer));
            return nullptr;
        case StoredValue::Kind::Real:
            if (type == ColumnType::Single && version >= 2 && value.real >= -double(std::numeric_limits<float>::max())
                && value.real <= double(std::numeric_limits<float>::max()))
                return singleAt(at, float(value.real));
            return nullptr;
        case StoredValue::Kind::Text:
            if ((type == ColumnType::Text || (type == ColumnType::Date && value.bytes.size() == 10))
                && std::all_of(value.bytes.begin(), value.bytes.end(),
                               [](char c) { return static_cast<unsigned char>(c) - 1u < 0x7fu; })) {
                // An empty text may come with no buffer at all.
                if (!value.bytes.empty())
                    std::memcpy(at, value.bytes.data(), value.bytes.size());
                return at + value.bytes.size();
            }
            return nullptr;
        case StoredValue::Kind::Blob:
            break;
        }
        return nullptr;
    }

private:
    struct SingleText {
        quint32 bits = 0;
        bool used = false;
        quint8 size = 0;
        char text[26];
    };
    // Singles come in few values and their text is the slowest to make:
    // the last text of each float is kept in a slot of its own.
    static constexpr int kSingleSlotBits = 12;
    static size_t singleSlot(quint32 bits) { return (bits * 2654435761u) >> (32 - kSingleSlotBits); }

    void appendSingle(std::string& out, float f)
    {
        const auto bits = std::bit_cast<quint32>(f);
        if (singles_) {
            const SingleText& known = singles_[singleSlot(bits)];
            if (known.used && known.bits == bits) {
                out.append(known.text, known.size);
                return;
            }
        }
        formatSingle(out, f);
    }
    char* singleAt(char* at, float f)
    {
        const auto bits = std::bit_cast<quint32>(f);
        if (singles_) {
            const SingleText& known = singles_[singleSlot(bits)];
            if (known.used && known.bits == bits) {
                // The whole slot: a copy of known size is a few moves, not a call.
                static_assert(sizeof known.text <= kQuickRoom);
                std::memcpy(at, known.text, sizeof known.text);
                return at + known.size;
            }
        }
        scratch_.clear();
        formatSingle(scratch_, f);
        std::memcpy(at, scratch_.data(), std::min(scratch_.size(), kQuickRoom));
        return at + std::min(scratch_.size(), kQuickRoom);
    }
    void formatSingle(std::string& out, float f);
    void appendOther(std::string& out, ColumnType type, const StoredValue& value, int version);

    std::unique_ptr<SingleText[]> singles_;
    std::string scratch_;
};

// The canonical text of one value, through this thread's encoder.
QString canonicalText(ColumnType type, const QVariant& value, int version);

} // namespace tvq52
