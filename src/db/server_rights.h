#pragma once

#include "core/error.h"

#include <QString>
#include <cstdint>

namespace tvq52 {

class Database;

// What a login may do with the records, each level holding the one below.
enum class Right : std::uint8_t { None, Read, Collect, Admin };

// What the program does with the records that a level of right decides.
enum class Operation : std::uint8_t {
    Browse,
    Report,
    Verify,
    VerifyReport,
    Export,
    Journal,
    Download,
    Collect,
    Import,
    Merge,
    ProgramReceive,
    ProgramTransmit,
    UnitDeletion,
    SharedSettings,
    ManageLogins,
};

// The level `op` needs: the one table every check reads.
Right neededRight(Operation op);
// Whether a login holding `held` may do `op`.
bool allows(Right held, Operation op);
// The level's word as `roles grant` takes it ("read", "collect", "admin");
// empty for None.
QString rightWord(Right right);

// The group role of a database for a level, or its owner role for None:
// tvq52_<database>_read, _collect, _admin and _owner.
QString rightsRoleName(const QString& database, Right right);

// Asks the server what the session's login may do: the highest level whose
// role it holds, or None. A superuser, a database without roles, and every
// SQLite file: Admin. One query.
Result<Right> askRight(Database& database);

// The refusal of `op` to a login holding `held`: a PermissionDenied
// database failure naming the level needed; nothing when it is allowed.
std::optional<Error> refusal(Right held, Operation op);
// The same for the login of `database` as last asked; nothing without records.
std::optional<Error> refusal(const Database* database, Operation op);

// Asks the server again (a role may have been revoked since the records
// were opened), keeps the answer on `database`, and refuses `op` when the
// login may no longer do it. Run before anything of `op` starts.
Status checkRight(Database& database, Operation op);

} // namespace tvq52
