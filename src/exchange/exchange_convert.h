#pragma once

#include "db/row_sink.h"
#include "db/store.h"
#include "exchange/exchange_format.h"

#include <QString>
#include <QVariant>
#include <optional>
#include <vector>

namespace tvq52 {

struct ExchangeRecord;

// Why a row of the file was not imported.
struct Refusal {
    enum class Kind {
        FieldCount,
        CutLine,
        NotANumber,
        OutOfRange,
        NotADate,
        NotATime,
        NotABit,
        TooLong,
        NoKey,
        Database,
        LineTooLong,
        ControlCharacter // `value` names it ("U+0000")
    };
    Kind kind = Kind::FieldCount;
    qint64 line = 0;
    QString column; // the column at fault, the counts for FieldCount, the limit for LineTooLong
    QString value;
};

// How the records of one section become rows of its table: the columns
// written are the file's, then the key times taken from its date-times.
class SectionConverter {
public:
    SectionConverter(const ExchangeSection& section, SqlDialect dialect);

    const ExchangeSection& section() const { return *section_; }
    // The table as a sink takes its rows.
    const SinkTable& sinkTable() const { return table_; }

    // The file text of field `index` as the value SQLite keeps for its
    // column, or why it is not of the column's kind. An empty field is no
    // value, but "" stays an empty text.
    std::optional<Refusal::Kind> readField(int index, const QString& text, bool quoted, QVariant* out) const;
    // The record as a row of the table, checked as merged rows are, in
    // `values`; or why not, naming the record's line and the column at fault.
    std::optional<Refusal> convert(const ExchangeRecord& record, QVariantList& values) const;
    // The record's bytes straight to the row as stored, for the forms a
    // download or an export writes: false leaves the record to convert(),
    // which reads every accepted form and tells why a row is refused.
    bool convertBytes(const ExchangeRecord& record, SinkRow& row) const;

private:
    enum class Special { None, TimeTyped, TextDate };
    std::optional<Refusal> convertFields(const ExchangeRecord& record, QVariantList& values) const;
    std::optional<Refusal::Kind> readText(int index, const QString& text, QVariant* out) const;
    struct FieldBytes;
    bool fieldBytes(int index, const FieldBytes& field, bool utf8, SinkRow& row, char* time) const;
    bool textBytes(int index, const FieldBytes& field, bool utf8, SinkRow& row) const;

    const ExchangeSection* section_;
    SqlDialect dialect_;
    SinkTable table_;
    std::vector<Special> special_;
    int startIndex_ = -1, endIndex_ = -1;         // DFechaInicio / DFechaFinal
    int startTimeIndex_ = -1, endTimeIndex_ = -1; // THoraInicio / THoraFinal
};

} // namespace tvq52
