#pragma once

#include "core/error.h"
#include "db/database.h"
#include "db/database_target.h"

#include <QString>

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

// Opens the records of `target` into ctx.db, and the data folder's own file
// into ctx.localDb when the records are on a server (it keeps this PC's
// settings row). On failure both are closed and the error's text, in the
// user's language, says why and what to do. `why` is set when no connection
// could be made: the address or the user are worth changing (the window
// offers its database dialog). Read-only, the data folder's file is opened
// so, also where the folder cannot be written; to write, such a folder is
// refused with the reason.
Status openRecordsDatabase(AppContext& ctx, Prompter& prompter, const DatabaseTarget& target, SchemaPolicy policy,
                           ConnectFailure* why = nullptr, DatabaseAccess access = DatabaseAccess::ReadWrite);

// The password of the target's user, asked through the prompter with a
// masked entry; held in memory only. With `remembered`, what it holds is
// tried first and what the user types is kept there.
PasswordSource passwordThrough(Prompter& prompter, const Translator& guru, QString* remembered = nullptr);

// Why a connection to `target` failed and what to do, in the user's language.
QString connectFailureText(const Translator& guru, ConnectFailure failure, const DatabaseTarget& target,
                           const QString& detail);

// What a server database holds of ours, said plainly after a test connection.
QString schemaStateText(const Translator& guru, SchemaState state, const DatabaseTarget& target, const QString& detail);

} // namespace tvq52
