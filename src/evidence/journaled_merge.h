#pragma once

#include "db/database_merge.h"

namespace tvq52 {

// Merges another database of this program into `target` (see mergeRows)
// under one journal entry: opened before any row is added, with the source
// file's SHA-256, and sealed at the end with the counts; as stopped when
// `stop` ended it.
MergeResult mergeDatabase(Database& target, const QString& sourcePath, const MergeProgress& progress = {},
                          const MergeStop& stop = {});

} // namespace tvq52
