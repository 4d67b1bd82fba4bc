#pragma once

#include "core/stored_value.h"

#include <sqlite3.h>

namespace tvq52 {

// A value SQLite hands over, as the checks and the canonical encoder take
// it; its text is SQLite's, valid while the value is. Inline: a merge
// reads every value of every row through it.
inline StoredValue storedValueOf(sqlite3_value* value)
{
    switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
        return StoredValue::ofInteger(sqlite3_value_int64(value));
    case SQLITE_FLOAT:
        return StoredValue::ofReal(sqlite3_value_double(value));
    case SQLITE_TEXT:
        // As bytes: a text SQLite holds unterminated would be copied to be
        // given with its NUL. The file's encoding is UTF-8.
        return StoredValue::ofText(
            {static_cast<const char*>(sqlite3_value_blob(value)), size_t(sqlite3_value_bytes(value))});
    case SQLITE_BLOB:
        return StoredValue::ofBlob(
            {static_cast<const char*>(sqlite3_value_blob(value)), size_t(sqlite3_value_bytes(value))});
    default:
        return StoredValue::null();
    }
}

} // namespace tvq52
