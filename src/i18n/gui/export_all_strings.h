#pragma once

#include <QString>

namespace tvq52 {

class FormRegistry;
class Translator;
class Prompter;

// Writes the catalogue and the texts of every registered window, in export
// order, into programFolder/Language.db for the translators, then reopens the
// language database that was open before. Returns false, after telling the
// user, when the database cannot be written.
bool ExportAllStrings(Translator& translator, const FormRegistry& forms, const QString& programFolder, Prompter& prompter);

} // namespace tvq52
