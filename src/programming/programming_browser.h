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
// indexed query, so the table may hold many thousands of units.
class ProgrammingBrowser {
public:
    explicit ProgrammingBrowser(Database& database) : database_(database) {}

    bool isEmpty() const;
    bool contains(qint32 serial) const;
    std::optional<qint32> first() const;
    // The neighbours of `serial`, which need not be stored itself.
    std::optional<qint32> next(qint32 serial) const;
    std::optional<qint32> previous(qint32 serial) const;

    // The lowest serial whose field contains `text` (dates read "dd/mm/yy");
    // the text is matched literally, quotes and wildcards included.
    std::optional<qint32> findContaining(const SearchField& field, const QString& text) const;

    // The command-line argument names a unit by its serial in plain digits.
    std::optional<qint32> findCommandLineSerial(const QString& argument) const;

    QString lastError() const { return lastError_; }

private:
    std::optional<qint32> step(SerialStep step, qint32 serial) const;
    // The serial found; a failure is kept as lastError().
    std::optional<qint32> found(const Result<std::optional<qint32>>& serial) const;

    Database& database_;
    mutable QString lastError_;
};

} // namespace tvq52
