#pragma once

#include "core/error.h"

#include <QString>

namespace tvq52 {

// Whether `path` names something that is there but is no regular file (a
// folder, a FIFO, a device), links followed: a writer that puts a new file
// in its place would replace it, and a reader could wait on it for ever.
bool isNonRegularFile(const QString& path);

enum class FileUse { Read, Write };

// The error that refuses such a path, in the program's own words.
Error nonRegularFileError(const QString& path, FileUse use);

} // namespace tvq52
