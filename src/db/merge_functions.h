#pragma once

#include "core/canonical_record.h"
#include "core/sha256.h"
#include "db/schema.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_value;

namespace tvq52 {

// How a source row stands against the checks of the target's columns.
enum class RowFit { KeyRefused = 0, Fits = 1, KeyOnly = 2 };

// The SQL functions that let a merge check, count and list a table's rows
// in the statements that move them, each row looked at once:
//   tvq52_merge_row(table, v1..vN)  the row's RowFit, counted here
//   tvq52_merge_fits(rowid)         0 for a row set aside by setMisfits, else 1
//   tvq52_merge_present(x)          counts a row that does not fit but whose
//                                   key is there (x true); gives 0
//   tvq52_row_digest(table, v1..vN) the journal's digest of a stored row
//   tvq52_key_text(table, k1..kK)   the journal's text of its key
//   tvq52_merge_list(table, v1..vN) tvq52_merge_row's RowFit, a fitting row
//                                   kept for takeListed()
// `table` is the table's place in schemaTables(); values in its column order.
class MergeFunctions {
public:
    struct Counts {
        qint64 fitting = 0;
        qint64 keyOnly = 0;
        qint64 keyRefused = 0;
        qint64 presentMisfits = 0;
        qint64 read() const { return fitting + keyOnly + keyRefused; }
    };

    MergeFunctions();
    // The functions refer to this object, which must outlive the connection's use of them.
    bool registerOn(sqlite3* db);
    const Counts& counts() const { return counts_; }
    void resetCounts() { counts_ = Counts(); }

    // The RowFit of a row (its values in column order), counted.
    RowFit check(const TableDef& table, sqlite3_value** values);
    // The same, not counted.
    static RowFit fit(const TableDef& table, sqlite3_value* const* values);
    // The rows of a source checked beforehand that do not fit, by rowid.
    void setMisfits(std::vector<qint64> rowids);

    static QString call(const char* function, const TableDef& table, const QStringList& values);

    // The journal's digest of a row (its values in column order) as 64 hex
    // digits, and the text of its key (the key's values in key order).
    void digest(const TableDef& table, sqlite3_value** values, char* hex);
    // The same as the raw 32 bytes a packed line keeps, valid until the next call.
    const unsigned char* rawDigest(const TableDef& table, sqlite3_value** values);
    const std::string& keyText(const TableDef& table, sqlite3_value** keyValues);

    // The row's RowFit, counted; a row that fits is kept (its key and
    // canonical text, made in the same pass over its values as the check)
    // until the next row, for takeListed() once the row is stored.
    RowFit listRow(const TableDef& table, sqlite3_value** values);
    // Whether a row was kept and not yet taken; the taking hashes it. The
    // key and digest are valid until the next row.
    bool hasListed() const { return listed_; }
    std::string_view listedKey() const { return listedKey_; }
    const unsigned char* takeListed();
    // Columns (places) whose positive values listRow() looks out for, from
    // the next row on; whether a row it kept had one (or a value that is
    // no number) since.
    void watchPositive(std::vector<size_t> places)
    {
        watched_ = std::move(places);
        positive_ = false;
    }
    bool metPositive() const { return positive_; }

private:
    // The canonical text of a row, in row_ until the next row.
    std::string_view canonicalRow(const TableDef& table, sqlite3_value** values);
    // Writes a value's text (after the field separator when `separated`)
    // at `at` in row_, and gives its end.
    char* put(char* at, bool separated, ColumnType type, const StoredValue& value);
    // Room for `more` bytes at `at` in row_, which may move; room() is the
    // inline test before it.
    char* reserve(char* at, size_t more);
    char* room(char* at, size_t more);

    // What the quick way needs of a column.
    struct QuickColumn {
        ColumnType type;
        bool key;
        bool recordTime;
        int keyIndex;      // its place in the key, or -1
        qint64 least;      // an integer column's range,
        qint64 most;       // or the most characters of a text
    };
    // A value of a kind its column keeps, that fits, with its text written
    // at `at`: its end. nullptr for any other, which takes the check and put().
    char* quickValue(char* at, const QuickColumn& column, sqlite3_value* value);
    // Where a key value's text sits in row_, when listRow() wrote it the quick way.
    struct KeySpan {
        size_t from = 0;
        size_t size = 0;
        bool quick = false;
    };

    Counts counts_;
    std::vector<qint64> misfits_; // sorted
    std::array<unsigned char, 32> raw_{};
    std::string text_; // the key being made, or a value's text the slow way
    // The row being made, kept at its largest size: written through pointers.
    std::string row_;
    // The row listRow() kept: its text, row_'s first listedSize_ bytes, and key.
    size_t listedSize_ = 0;
    std::string listedKey_;
    bool listed_ = false;
    std::vector<size_t> watched_;
    bool positive_ = false;
    // The places of each table's key columns.
    std::vector<std::vector<const ColumnDef*>> keys_;
    std::vector<std::vector<size_t>> keyPlaces_; // the same, as places among the columns
    std::vector<std::vector<QuickColumn>> quick_; // each table's columns
    std::vector<KeySpan> keySpans_;
    CanonicalEncoder encoder_;
};

// Whether the journal lists the rows of `table` that a merge adds (the record tables).
bool isJournaledTable(const TableDef& table);

} // namespace tvq52
