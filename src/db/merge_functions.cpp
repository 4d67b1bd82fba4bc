#include "db/merge_functions.h"

#include "core/sha256.h"

#include "db/journal_codec.h"
#include "db/row_check.h"
#include "db/sqlite_value.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>
#include <tuple>
#include <sqlite3.h>

namespace tvq52 {

namespace {

const TableDef* tableAt(sqlite3_context* context, sqlite3_value* place, int values, bool keysOnly)
{
    const std::vector<TableDef>& tables = schemaTables();
    const sqlite3_int64 t = sqlite3_value_int64(place);
    if (t < 0 || t >= sqlite3_int64(tables.size())
        || size_t(values) != (keysOnly ? tables[size_t(t)].key.size() : tables[size_t(t)].columns.size())) {
        sqlite3_result_error(context, "tvq52 merge function: no such table or another number of values", -1);
        return nullptr;
    }
    return &tables[size_t(t)];
}

// The roles of every table's columns, found once rather than by name per value.
const std::vector<std::vector<ColumnRole>>& columnRoles()
{
    static const std::vector<std::vector<ColumnRole>> roles = [] {
        std::vector<std::vector<ColumnRole>> all;
        for (const TableDef& t : schemaTables()) {
            all.emplace_back();
            for (const ColumnDef& c : t.columns)
                all.back().push_back(columnRole(t, c));
        }
        return all;
    }();
    return roles;
}

void mergeRowFunction(sqlite3_context* context, int argc, sqlite3_value** argv)
{
    if (const TableDef* table = tableAt(context, argv[0], argc - 1, false))
        sqlite3_result_int(context, int(static_cast<MergeFunctions*>(sqlite3_user_data(context))->check(*table, argv + 1)));
}

void rowidFitsFunction(sqlite3_context* context, int, sqlite3_value** argv)
{
    const auto& misfits = *static_cast<const std::vector<qint64>*>(sqlite3_user_data(context));
    sqlite3_result_int(context, std::binary_search(misfits.begin(), misfits.end(), sqlite3_value_int64(argv[0])) ? 0 : 1);
}

void presentFunction(sqlite3_context* context, int, sqlite3_value** argv)
{
    if (sqlite3_value_int(argv[0]) != 0)
        ++static_cast<MergeFunctions::Counts*>(sqlite3_user_data(context))->presentMisfits;
    sqlite3_result_int(context, 0);
}

void listRowFunction(sqlite3_context* context, int argc, sqlite3_value** argv)
{
    if (const TableDef* table = tableAt(context, argv[0], argc - 1, false))
        sqlite3_result_int(context,
                           int(static_cast<MergeFunctions*>(sqlite3_user_data(context))->listRow(*table, argv + 1)));
}

void rowDigestFunction(sqlite3_context* context, int argc, sqlite3_value** argv)
{
    const TableDef* table = tableAt(context, argv[0], argc - 1, false);
    if (!table)
        return;
    char digest[64];
    static_cast<MergeFunctions*>(sqlite3_user_data(context))->digest(*table, argv + 1, digest);
    sqlite3_result_text(context, digest, 64, SQLITE_TRANSIENT);
}

void keyTextFunction(sqlite3_context* context, int argc, sqlite3_value** argv)
{
    const TableDef* table = tableAt(context, argv[0], argc - 1, true);
    if (!table)
        return;
    const std::string& text = static_cast<MergeFunctions*>(sqlite3_user_data(context))->keyText(*table, argv + 1);
    sqlite3_result_text(context, text.data(), int(text.size()), SQLITE_TRANSIENT);
}

} // namespace

bool isJournaledTable(const TableDef& table)
{
    for (const char* name : journal_codec::kRecordTables)
        if (qstrcmp(name, table.name) == 0)
            return true;
    return false;
}

RowFit MergeFunctions::fit(const TableDef& table, sqlite3_value* const* values)
{
    const std::vector<ColumnRole>& roles = columnRoles()[size_t(&table - schemaTables().data())];
    bool allFit = true;
    for (size_t c = 0; c < table.columns.size(); ++c) {
        if (checkValueQuick(table.columns[c], roles[c], storedValueOf(values[c])) == ValueFault::None)
            continue;
        // The first key value that does not fit refuses the row whole.
        if (roles[c].key)
            return RowFit::KeyRefused;
        allFit = false;
    }
    return allFit ? RowFit::Fits : RowFit::KeyOnly;
}

RowFit MergeFunctions::check(const TableDef& table, sqlite3_value** values)
{
    const RowFit fit = MergeFunctions::fit(table, values);
    ++(fit == RowFit::Fits ? counts_.fitting : fit == RowFit::KeyOnly ? counts_.keyOnly : counts_.keyRefused);
    return fit;
}

void MergeFunctions::setMisfits(std::vector<qint64> rowids)
{
    misfits_ = std::move(rowids);
    std::sort(misfits_.begin(), misfits_.end());
}

MergeFunctions::MergeFunctions()
{
    for (const TableDef& t : schemaTables()) {
        keys_.emplace_back();
        keyPlaces_.emplace_back();
        for (const char* k : t.key) {
            keys_.back().push_back(t.column(QString::fromUtf8(k)));
            keyPlaces_.back().push_back(size_t(keys_.back().back() - t.columns.data()));
        }
    }
    size_t mostKeys = 0;
    for (const TableDef& t : schemaTables()) {
        quick_.emplace_back();
        mostKeys = std::max(mostKeys, t.key.size());
        for (const ColumnDef& c : t.columns) {
            const ColumnRole role = columnRole(t, c);
            QuickColumn q{c.type, role.key, role.recordTime, -1, 0, maxTextChars(c)};
            if (c.type == ColumnType::Long || c.type == ColumnType::Short || c.type == ColumnType::Byte)
                std::tie(q.least, q.most) = integerRange(c.type);
            for (size_t k = 0; k < t.key.size(); ++k)
                if (qstrcmp(t.key[k], c.name) == 0)
                    q.keyIndex = int(k);
            quick_.back().push_back(q);
        }
    }
    keySpans_.resize(mostKeys);
    text_.reserve(512);
    row_.resize(4096);
    listedKey_.reserve(64);
}

char* MergeFunctions::reserve(char* at, size_t more)
{
    const size_t used = size_t(at - row_.data());
    if (used + more > row_.size())
        row_.resize(std::max(row_.size() * 2, used + more));
    return row_.data() + used;
}

inline char* MergeFunctions::put(char* at, bool separated, ColumnType type, const StoredValue& v)
{
    const bool bytes = v.kind == StoredValue::Kind::Text || v.kind == StoredValue::Kind::Blob;
    at = reserve(at, 1 + CanonicalEncoder::kQuickRoom + (bytes ? v.bytes.size() : 0));
    if (separated)
        *at++ = canonical::kFieldSeparator;
    if (char* end = encoder_.appendQuick(at, type, v, canonical::kCurrentVersion))
        return end;
    text_.clear();
    encoder_.append(text_, type, v, canonical::kCurrentVersion);
    at = reserve(at, text_.size());
    std::memcpy(at, text_.data(), text_.size());
    return at + text_.size();
}

std::string_view MergeFunctions::canonicalRow(const TableDef& table, sqlite3_value** values)
{
    char* at = row_.data();
    for (size_t c = 0; c < table.columns.size(); ++c)
        at = put(at, c > 0, table.columns[c].type, storedValueOf(values[c]));
    return {row_.data(), size_t(at - row_.data())};
}

void MergeFunctions::digest(const TableDef& table, sqlite3_value** values, char* hex)
{
    const std::string_view text = canonicalRow(table, values);
    const QByteArray digest = Sha256::hex(QByteArrayView(text.data(), qsizetype(text.size())));
    std::memcpy(hex, digest.constData(), size_t(digest.size()));
}

const unsigned char* MergeFunctions::rawDigest(const TableDef& table, sqlite3_value** values)
{
    const std::string_view text = canonicalRow(table, values);
    Sha256::hashInto(QByteArrayView(text.data(), qsizetype(text.size())), raw_.data());
    return raw_.data();
}

// Whether a text is ASCII without a NUL: each byte a character, and the
// bytes its canonical text. No early way out, so that it runs wide.
inline bool isPlainText(const char* t, size_t size)
{
    unsigned other = 0;
    for (size_t i = 0; i < size; ++i)
        other |= unsigned(static_cast<unsigned char>(t[i]) - 1u >= 0x7fu);
    return other == 0;
}

Q_ALWAYS_INLINE char* MergeFunctions::room(char* at, size_t more)
{
    return size_t(row_.data() + row_.size() - at) >= more ? at : reserve(at, more);
}

Q_ALWAYS_INLINE char* MergeFunctions::quickValue(char* at, const QuickColumn& column, sqlite3_value* value)
{
    switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER: {
        const qint64 v = sqlite3_value_int64(value);
        if (column.type == ColumnType::Long || column.type == ColumnType::Short || column.type == ColumnType::Byte)
            return v < column.least || v > column.most ? nullptr : std::to_chars(at, at + CanonicalEncoder::kQuickRoom, v).ptr;
        if (column.type == ColumnType::Boolean) {
            if (v != 0 && v != 1 && v != -1)
                return nullptr;
            *at = v != 0 ? '1' : '0';
            return at + 1;
        }
        return column.type == ColumnType::Single
            ? encoder_.appendQuick(at, ColumnType::Single, StoredValue::ofInteger(v), canonical::kCurrentVersion)
            : nullptr;
    }
    case SQLITE_FLOAT: {
        if (column.type != ColumnType::Single)
            return nullptr;
        const double d = sqlite3_value_double(value);
        // As checkValueQuick() lets a single through: NaN fails too.
        if (!(d >= -double(std::numeric_limits<float>::max()) && d <= double(std::numeric_limits<float>::max())))
            return nullptr;
        return encoder_.appendQuick(at, ColumnType::Single, StoredValue::ofReal(d), canonical::kCurrentVersion);
    }
    case SQLITE_TEXT: {
        if (column.type != ColumnType::Text && column.type != ColumnType::Date)
            return nullptr;
        const char* t = static_cast<const char*>(sqlite3_value_blob(value));
        const auto size = size_t(sqlite3_value_bytes(value));
        const bool fits = column.type == ColumnType::Date
            ? text_form::isStoredDate(t, qsizetype(size))
            : qint64(size) <= column.most && isPlainText(t, size)
                && (!column.recordTime || text_form::isClockTime(t, qsizetype(size)));
        if (!fits)
            return nullptr;
        at = room(at, size);
        // An empty text may come with no buffer at all.
        if (size > 0)
            std::memcpy(at, t, size);
        return at + size;
    }
    case SQLITE_NULL:
        return column.key ? nullptr : at;
    default:
        return nullptr;
    }
}

RowFit MergeFunctions::listRow(const TableDef& table, sqlite3_value** values)
{
    const size_t at = size_t(&table - schemaTables().data());
    const std::vector<QuickColumn>& columns = quick_[at];
    listed_ = false;
    RowFit fit = RowFit::Fits;
    char* end = row_.data();
    for (KeySpan& span : keySpans_)
        span.quick = false;
    // Each value read once, for its check and its text: the values a record
    // mostly holds the quick way, any other through the check and encoder.
    for (size_t c = 0; c < columns.size(); ++c) {
        const QuickColumn& column = columns[c];
        if (fit == RowFit::Fits) {
            end = room(end, 1 + CanonicalEncoder::kQuickRoom);
            *end = canonical::kFieldSeparator;
            const size_t from = size_t(end - row_.data()) + (c > 0 ? 1 : 0);
            if (char* quick = quickValue(row_.data() + from, column, values[c])) {
                // The quick texts of a key's values are the same in the key's form.
                if (column.keyIndex >= 0 && column.type != ColumnType::Single)
                    keySpans_[size_t(column.keyIndex)] = {from, size_t(quick - row_.data()) - from, true};
                end = quick;
                continue;
            }
        }
        const StoredValue v = storedValueOf(values[c]);
        if (checkValueQuick(table.columns[c], {column.key, column.recordTime}, v) != ValueFault::None) {
            if (column.key) {
                fit = RowFit::KeyRefused;
                break;
            }
            fit = RowFit::KeyOnly;
        }
        if (fit == RowFit::Fits)
            end = put(end, c > 0, column.type, v);
    }
    ++(fit == RowFit::Fits ? counts_.fitting : fit == RowFit::KeyOnly ? counts_.keyOnly : counts_.keyRefused);
    if (fit != RowFit::Fits)
        return fit;
    listedSize_ = size_t(end - row_.data());
    listedKey_.clear();
    const std::vector<size_t>& places = keyPlaces_[at];
    for (size_t k = 0; k < places.size(); ++k) {
        if (k > 0)
            listedKey_ += canonical::kKeySeparator;
        if (k < keySpans_.size() && keySpans_[k].quick)
            listedKey_.append(row_.data() + keySpans_[k].from, keySpans_[k].size);
        else
            encoder_.append(listedKey_, table.columns[places[k]].type, storedValueOf(values[places[k]]),
                            canonical::kKeyVersion);
    }
    for (size_t place : watched_) {
        const StoredValue v = storedValueOf(values[place]);
        positive_ = positive_
            || (v.kind == StoredValue::Kind::Integer ? v.integer > 0 : v.kind != StoredValue::Kind::Null);
    }
    listed_ = true;
    return fit;
}

const unsigned char* MergeFunctions::takeListed()
{
    listed_ = false;
    Sha256::hashInto(QByteArrayView(row_.data(), qsizetype(listedSize_)), raw_.data());
    return raw_.data();
}

const std::string& MergeFunctions::keyText(const TableDef& table, sqlite3_value** values)
{
    text_.clear();
    const std::vector<const ColumnDef*>& keys = keys_[size_t(&table - schemaTables().data())];
    for (size_t k = 0; k < keys.size(); ++k) {
        if (k > 0)
            text_ += canonical::kKeySeparator;
        encoder_.append(text_, keys[k]->type, storedValueOf(values[k]), canonical::kKeyVersion);
    }
    return text_;
}

bool MergeFunctions::registerOn(sqlite3* db)
{
    // The digests are also taken by the trigger that lists a merge's rows.
    const int flags = SQLITE_UTF8 | SQLITE_DIRECTONLY, listing = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    return db
        && sqlite3_create_function_v2(db, "tvq52_merge_row", -1, flags, this, mergeRowFunction, nullptr, nullptr,
                                      nullptr)
        == SQLITE_OK
        && sqlite3_create_function_v2(db, "tvq52_merge_fits", 1, flags, &misfits_, rowidFitsFunction, nullptr, nullptr,
                                      nullptr)
        == SQLITE_OK
        && sqlite3_create_function_v2(db, "tvq52_merge_present", 1, flags, &counts_, presentFunction, nullptr, nullptr,
                                      nullptr)
        == SQLITE_OK
        && sqlite3_create_function_v2(db, "tvq52_merge_list", -1, flags, this, listRowFunction, nullptr, nullptr,
                                      nullptr)
        == SQLITE_OK
        && sqlite3_create_function_v2(db, "tvq52_row_digest", -1, listing, this, rowDigestFunction, nullptr, nullptr,
                                      nullptr)
        == SQLITE_OK
        && sqlite3_create_function_v2(db, "tvq52_key_text", -1, listing, this, keyTextFunction, nullptr, nullptr,
                                      nullptr)
        == SQLITE_OK;
}

QString MergeFunctions::call(const char* function, const TableDef& table, const QStringList& values)
{
    return QStringLiteral("%1(%2, %3)")
        .arg(QLatin1String(function))
        .arg(&table - schemaTables().data())
        .arg(values.join(QLatin1String(", ")));
}

} // namespace tvq52
