#pragma once

#include "core/error.h"

#include <QString>

class QFileDevice;

namespace tvq52 {

// Whether `path` names something that is there but is no regular file (a
// folder, a FIFO, a device), links followed: a writer that puts a new file
// in its place would replace it, and a reader could wait on it for ever.
bool isNonRegularFile(const QString& path);

enum class FileUse { Read, Write };

// The error that refuses such a path, in the program's own words.
Error nonRegularFileError(const QString& path, FileUse use);
// Whether `error` is one of those.
bool isNonRegularFileError(const Error& error);

// Why a write to `file` just failed, in the system's words: `error` is errno
// taken right after the call, as the file's own text often says nothing
// ("Unknown error") after a buffered or cut-short write.
QString writeFailureText(const QFileDevice& file, int error);

} // namespace tvq52
