#pragma once

#include "core/stored_value.h"

#include <QString>
#include <QVariant>
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

    void append(std::string& out, ColumnType type, const StoredValue& value, int version);
    void append(std::string& out, ColumnType type, const QVariant& value, int version);

private:
    void appendSingle(std::string& out, float f);

    // Singles come in few values and their text is the slowest to make:
    // the last text of each float is kept in a slot of its own.
    struct SingleText;
    std::unique_ptr<SingleText[]> singles_;
};

// The canonical text of one value, through this thread's encoder.
QString canonicalText(ColumnType type, const QVariant& value, int version);

} // namespace tvq52
