#pragma once

#include <QString>

class QTableView;

namespace tvq52 {

class Translator;
class Prompter;
class RecordGridModel;

// Asks for a file and writes the grid to it as the view shows it: its
// visible columns, headings and display texts. False when cancelled or
// when the file could not be written (the user was told).
bool exportGridCsv(const RecordGridModel& grid, const QTableView& view, Prompter& prompter, const Translator& translator,
                   const QString& suggestedName);

} // namespace tvq52
