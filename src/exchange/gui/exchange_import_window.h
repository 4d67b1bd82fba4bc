#pragma once

#include <QString>

class QWidget;

namespace tvq52 {

class Database;
class Translator;
class Prompter;

// Imports the exchange file at `path` into `database` (the run's records),
// showing the import window modally with its progress and, at the
// end, its summary. Errors go through `prompter`; with no database open
// nothing is imported. `requireSigned`: a file not signed by a trusted
// office is imported only if the user says so.
void openExchangeImport(Translator& translator, Prompter& prompter, Database* database, const QString& path,
                        bool requireSigned, QWidget* parent);

} // namespace tvq52
