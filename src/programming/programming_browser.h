#pragma once

#include "programming/programming_store.h"

#include <QString>
#include <optional>

namespace tvq52 {

// A field the browser can search, by the name of its control.
struct SearchField {
    QString control; // "MaskNumeroSerie", ...
    QString column;  // "LNumeroSerie", ...
    int labelId;     // catalogue text naming the field
};

// The searchable field of a control; nothing for the others.
std::optional<SearchField> searchFieldOf(const QString& control);

// Walks the Programacion rows in serial-number order. Each step is one
// indexed query, so the table may hold many thousands of units. A step
// gives the serial found, nothing when there is none, or why it failed.
class ProgrammingBrowser {
public:
    explicit ProgrammingBrowser(Database& database) : database_(database) {}

    // A table that cannot be read holds no unit to show.
    bool isEmpty() const;
    bool contains(qint32 serial) const;
    Result<std::optional<qint32>> first() const;
    // The neighbours of `serial`, which need not be stored itself.
    Result<std::optional<qint32>> next(qint32 serial) const;
    Result<std::optional<qint32>> previous(qint32 serial) const;

    // The lowest serial whose field contains `text` (dates read "dd/mm/yy");
    // the text is matched literally, quotes and wildcards included.
    Result<std::optional<qint32>> findContaining(const SearchField& field, const QString& text) const;

    // The command-line argument names a unit by its serial in plain digits.
    std::optional<qint32> findCommandLineSerial(const QString& argument) const;

private:
    Result<std::optional<qint32>> step(SerialStep step, qint32 serial) const;

    Database& database_;
};

// The serial a step found; nothing also when it failed, for a window that
// then stays where it is.
inline std::optional<qint32> serialFound(const Result<std::optional<qint32>>& step)
{
    return step ? *step : std::nullopt;
}

} // namespace tvq52
