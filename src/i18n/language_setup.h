#pragma once

#include <QString>

namespace tvq52 {

class LocGuru;
class Prompter;

// Opens the language database at `path` (or, failing that, at
// programFolder/path) for `languageName`. A failure is shown through the
// prompter and the texts stay in the native language.
bool SetupLanguage(LocGuru& guru, Prompter& prompter, const QString& path, const QString& languageName,
                   const QString& programFolder);

} // namespace tvq52
