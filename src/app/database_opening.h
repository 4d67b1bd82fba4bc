#pragma once

#include "core/error.h"
#include "db/database.h"
#include "db/database_target.h"

#include <QString>
#include <functional>
#include <optional>

namespace tvq52 {

struct AppContext;
class Translator;
class Prompter;

// What to do with a server database that lacks our tables.
enum class SchemaPolicy {
    Ask,          // the window asks before laying them out
    LayOut,       // `init` lays them out without asking
    RequireReady, // any other command refuses and points at `init`
};

// How a run wants its records.
struct RecordsRequest {
    SchemaPolicy policy = SchemaPolicy::RequireReady;
    DatabaseAccess access = DatabaseAccess::ReadWrite;
    // A choice made in a window; without one, the run's own: the --database
    // option, else the settings file's, else the data folder's file.
    std::optional<DatabaseTarget> chosen;
    // Where a server cannot be reached (or the choice does not read), the
    // failure is shown and this asked for another choice, told why in the
    // user's words, until one opens; nothing gives up (an Error with id 0).
    // Without it the failure is returned.
    std::function<std::optional<DatabaseTarget>(const QString& why)> chooseAgain;
};

// The one way the records are opened: from the data folder (ctx.home) and
// the run's choice to ctx.db, checked to hold every table, and the folder's
// own file into ctx.localDb when the records are on a server (it keeps this
// PC's settings row). Records already open there stay as they are. On
// failure the records open before stay open (none at start) and the one
// error says why and what to do, in native words translated where it is
// shown; a database failure's kind is in it (databaseFailureOf). Only a
// password, and with policy Ask whether to lay out a server's missing
// tables, are asked through `prompter`.
// Read-only, the folder's file is opened so, also where the folder cannot be
// written; to write, such a folder is refused.
Status openRecords(AppContext& ctx, Prompter& prompter, const RecordsRequest& request = {});

// The password of the target's user, asked through the prompter with a
// masked entry; held in memory only. With `remembered`, what it holds is
// tried first and what the user types is kept there.
PasswordSource passwordThrough(Prompter& prompter, const Translator& translator, QString* remembered = nullptr);

// What a server database holds of ours, said plainly after a test connection:
// native words, translated where they are shown.
Error schemaStateWords(SchemaState state, const DatabaseTarget& target, const QString& detail);

} // namespace tvq52
