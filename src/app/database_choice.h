#pragma once

#include "core/error.h"
#include "db/database_target.h"

#include <QString>
#include <optional>

namespace tvq52 {

struct AppContext;

// Which records a run opens, by precedence: the --database option (this run
// only; an empty one is the folder's file), else the settings file's
// "Database" key, else `folderFile`, the data folder's own file. An address
// that does not read is refused with the reason.
Result<DatabaseTarget> chooseDatabase(const std::optional<QString>& option, const QString& settingsValue,
                                      const QString& folderFile);

// The choice for the run's data folder (found from --home or $TVQ52_HOME at
// start) and its --database option: the one place both the window and
// tvq52-cli learn which records to open.
Result<DatabaseTarget> resolveDatabase(const AppContext& ctx);

} // namespace tvq52
