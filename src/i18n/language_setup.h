#pragma once

#include "i18n/translator.h"

#include <QString>

namespace tvq52 {

class Prompter;

// Opens the language database at `path` (or, failing that, at
// programFolder/path) for `languageName`. A failure is shown through the
// prompter and the texts stay in the native language. The path
// "<TESTWIDTH>" turns on the width test instead.
bool setUpLanguage(Translator& translator, Prompter& prompter, const QString& path, const QString& languageName,
                   const QString& programFolder);

// The kind of a language database: an SQLite file (by its header or, for a
// file not there yet, by a ".db" or ".mdb" name) or a text language file.
Translator::DbType languageDatabaseKind(const QString& path);

} // namespace tvq52
