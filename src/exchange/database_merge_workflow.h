#pragma once

#include "evidence/journaled_merge.h"

#include <QString>

namespace tvq52 {

class Database;
class Translator;
class Prompter;

// What a name chosen in the file dialog or given on the command line is.
enum class ChosenFileKind { None, Database, Exchange, Access, Other };
ChosenFileKind chosenFileKind(const QString& name);

// The open dialog of the file button: this program's databases, exchange
// files, anything. A name of another kind is told (catalogue text 143 or,
// for an Access file, why it cannot be read) and gives None, as Cancel does.
// `kind` gets what the returned name is. The dialog opens in `folder`.
QString chooseMergeOrImportFile(Translator& translator, Prompter& prompter, const QString& folder, ChosenFileKind* kind);

// The same check for a file that came another way (dropped on the window,
// picked from the recent files): Database or Exchange, else the kind is told
// as above and the result is None.
ChosenFileKind checkMergeOrImportFile(Translator& translator, Prompter& prompter, const QString& name);

// Merges `source` into `database` and tells the user how it went: a fault,
// a stop, or the count of rows per table. True when every table was read.
bool runDatabaseMerge(Database& database, Translator& translator, Prompter& prompter, const QString& source,
                      const MergeProgress& progress = {}, const MergeStop& stop = {});

// The summary shown after a merge, in the user's language.
QString mergeSummaryText(Translator& translator, const QString& source, const MergeResult& result);

} // namespace tvq52
