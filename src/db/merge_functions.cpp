#include "db/merge_functions.h"

#include "core/sha256.h"

#include "db/journal_codec.h"
#include "db/row_check.h"

#include <QDate>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <sqlite3.h>

namespace tvq52 {

namespace {

QVariant sqliteVariant(sqlite3_value* value)
{
    switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
        return QVariant(qlonglong(sqlite3_value_int64(value)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_value_double(value));
    case SQLITE_TEXT:
        return QVariant(
            QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_value_text(value)), sqlite3_value_bytes(value)));
    case SQLITE_BLOB:
        return QVariant(QByteArray(static_cast<const char*>(sqlite3_value_blob(value)), sqlite3_value_bytes(value)));
    default:
        return QVariant();
    }
}

// Plain ASCII without a NUL: a byte is a character.
bool isPlainAscii(const char* text, int size)
{
    for (int i = 0; i < size; ++i)
        if (static_cast<unsigned char>(text[i]) - 1u >= 0x7fu)
            return false;
    return true;
}

int twoDigits(const char* at)
{
    return at[0] >= '0' && at[0] <= '9' && at[1] >= '0' && at[1] <= '9' ? (at[0] - '0') * 10 + (at[1] - '0') : -1;
}

bool isDateText(const char* t, int size)
{
    if (size != 10 || t[4] != '-' || t[7] != '-')
        return false;
    const int c = twoDigits(t), y = twoDigits(t + 2), m = twoDigits(t + 5), d = twoDigits(t + 8);
    return c >= 0 && y >= 0 && m >= 0 && d >= 0 && c * 100 + y >= 1 && QDate::isValid(c * 100 + y, m, d);
}

bool isTimeText(const char* t, int size)
{
    if (size != 5 || t[2] != ':')
        return false;
    const int h = twoDigits(t), m = twoDigits(t + 3);
    return h >= 0 && h < 24 && m >= 0 && m < 60;
}

bool isMomentColumn(const ColumnDef& c)
{
    return std::strcmp(c.name, "THora") == 0 || std::strcmp(c.name, "THoraInicio") == 0
        || std::strcmp(c.name, "THoraFinal") == 0;
}

bool integerFits(ColumnType type, sqlite3_int64 n)
{
    switch (type) {
    case ColumnType::Long:
        return n >= std::numeric_limits<qint32>::min() && n <= std::numeric_limits<qint32>::max();
    case ColumnType::Short:
        return n >= std::numeric_limits<qint16>::min() && n <= std::numeric_limits<qint16>::max();
    case ColumnType::Byte:
        return n >= 0 && n <= 255;
    case ColumnType::Single:
        return true;
    case ColumnType::Boolean:
        return n == 0 || n == 1 || n == -1;
    default:
        return false;
    }
}

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

// What the check of a column needs, found once rather than by name per value.
struct ColumnFacts {
    bool key = false;
    bool moment = false;
};

const std::vector<std::vector<ColumnFacts>>& columnFacts()
{
    static const std::vector<std::vector<ColumnFacts>> facts = [] {
        std::vector<std::vector<ColumnFacts>> all;
        for (const TableDef& t : schemaTables()) {
            all.emplace_back();
            for (const ColumnDef& c : t.columns)
                all.back().push_back({t.isKey(c), isMomentColumn(c)});
        }
        return all;
    }();
    return facts;
}

bool valueFits(const TableDef& table, const ColumnDef& column, ColumnFacts facts, sqlite3_value* value)
{
    switch (sqlite3_value_type(value)) {
    case SQLITE_NULL:
        return !facts.key;
    case SQLITE_INTEGER:
        return integerFits(column.type, sqlite3_value_int64(value));
    case SQLITE_FLOAT: {
        const double d = sqlite3_value_double(value);
        return column.type == ColumnType::Single && std::isfinite(d)
            && std::fabs(d) <= double(std::numeric_limits<float>::max());
    }
    case SQLITE_TEXT:
        break;
    default:
        return false;
    }
    if (column.type != ColumnType::Text && column.type != ColumnType::Date)
        return false;
    // As bytes: a value the hook sees is unterminated, and asking for its
    // text would copy it to add the NUL.
    const char* text = static_cast<const char*>(sqlite3_value_blob(value));
    const int size = sqlite3_value_bytes(value);
    // Past ASCII a character is not a byte: the full check counts them. A
    // text that is not UTF-8 or holds a NUL no server stores, and none of
    // ours has one: it is refused whatever the target.
    if (!isPlainAscii(text, size))
        return QByteArrayView(text, size).isValidUtf8() && !std::memchr(text, 0, size_t(size))
            && checkStoredValue(table, column, sqliteVariant(value)) == ValueFault::None;
    if (column.type == ColumnType::Date)
        return isDateText(text, size);
    return size <= maxTextChars(column) && (!facts.moment || isTimeText(text, size));
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

bool storedValueFits(const TableDef& table, const ColumnDef& column, sqlite3_value* value)
{
    return valueFits(table, column, ColumnFacts{table.isKey(column), isMomentColumn(column)}, value);
}

RowFit MergeFunctions::check(const TableDef& table, sqlite3_value** values)
{
    const std::vector<ColumnFacts>& facts = columnFacts()[size_t(&table - schemaTables().data())];
    bool keyFits = true, allFit = true;
    for (size_t c = 0; c < table.columns.size() && keyFits; ++c) {
        if (valueFits(table, table.columns[c], facts[c], values[c]))
            continue;
        allFit = false;
        keyFits = !facts[c].key;
    }
    const RowFit fit = allFit ? RowFit::Fits : keyFits ? RowFit::KeyOnly : RowFit::KeyRefused;
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
        for (const char* k : t.key)
            keys_.back().push_back(t.column(QString::fromUtf8(k)));
    }
    text_.reserve(512);
}

const std::string& MergeFunctions::canonicalRow(const TableDef& table, sqlite3_value** values)
{
    text_.clear();
    for (size_t c = 0; c < table.columns.size(); ++c) {
        if (c > 0)
            text_ += char(journal_codec::kSeparator.unicode());
        appendCanonical(text_, table.columns[c], values[c], journal_codec::kCurrentVersion);
    }
    return text_;
}

void MergeFunctions::digest(const TableDef& table, sqlite3_value** values, char* hex)
{
    const std::string& text = canonicalRow(table, values);
    const QByteArray digest = Sha256::hex(QByteArrayView(text.data(), qsizetype(text.size())));
    std::memcpy(hex, digest.constData(), size_t(digest.size()));
}

const unsigned char* MergeFunctions::rawDigest(const TableDef& table, sqlite3_value** values)
{
    const std::string& text = canonicalRow(table, values);
    Sha256::hashInto(QByteArrayView(text.data(), qsizetype(text.size())), raw_.data());
    return raw_.data();
}

const std::string& MergeFunctions::keyText(const TableDef& table, sqlite3_value** values)
{
    text_.clear();
    const std::vector<const ColumnDef*>& keys = keys_[size_t(&table - schemaTables().data())];
    for (size_t k = 0; k < keys.size(); ++k) {
        if (k > 0)
            text_ += ' ';
        appendCanonical(text_, *keys[k], values[k], 1);
    }
    return text_;
}

void MergeFunctions::appendCanonical(std::string& out, const ColumnDef& column, sqlite3_value* value, int version)
{
    const int type = sqlite3_value_type(value);
    if (type == SQLITE_NULL)
        return;
    if (type == SQLITE_INTEGER && column.type != ColumnType::Single) {
        const sqlite3_int64 n = sqlite3_value_int64(value);
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
        if (column.type == ColumnType::Boolean)
            out += n != 0 ? '1' : '0';
        else
            out.append(digits,
                       size_t(column.type == ColumnType::Date ? std::min<qsizetype>(end - digits, 10) : end - digits));
        return;
    }
    // A whole number in a Single is written as the float it stands for:
    // SQLite may keep a REAL that is one as an integer.
    const bool exact = type == SQLITE_INTEGER && sqlite3_value_int64(value) >= -kExactInDouble
        && sqlite3_value_int64(value) <= kExactInDouble;
    if ((type == SQLITE_FLOAT || exact) && column.type == ColumnType::Single && version >= 2) {
        const double d = sqlite3_value_double(value);
        const float f = float(d);
        quint32 bits = 0;
        std::memcpy(&bits, &f, sizeof bits);
        SingleText& known = singles_[(bits * 2654435761u) >> (32 - kSingleSlotsBits)];
        if (!known.used || known.bits != bits) {
            const std::string text = journal_codec::canonicalValue(column, QVariant(d), version).toStdString();
            known.used = text.size() <= sizeof known.text;
            known.bits = bits;
            known.size = quint8(std::min(text.size(), sizeof known.text));
            std::memcpy(known.text, text.data(), known.size);
            if (!known.used) {
                out += text;
                return;
            }
        }
        out.append(known.text, known.size);
        return;
    }
    if (type == SQLITE_TEXT) {
        // As bytes: a text SQLite holds unterminated would be copied to
        // be given with its NUL. The file's encoding is UTF-8.
        const char* text = static_cast<const char*>(sqlite3_value_blob(value));
        const int size = sqlite3_value_bytes(value);
        if ((column.type == ColumnType::Text || column.type == ColumnType::Date) && isPlainAscii(text, size))
            out.append(text, size_t(column.type == ColumnType::Date ? std::min(size, 10) : size));
        else
            out += journal_codec::canonicalValue(column, QVariant(QString::fromUtf8(text, size)), version).toStdString();
        return;
    }
    out += journal_codec::canonicalValue(column, sqliteVariant(value), version).toStdString();
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
