#pragma once

#include "core/error.h"
#include "core/prompter.h"

namespace tvq52 {

class Translator;

// Asks whether to save the edits of the record shown: Save (the default),
// Discard, or Cancel to stay with the edits.
Answer askToSaveEdits(Prompter& prompter, const Translator& translator);

// Shows catalogue text `id` through `translator` (translated, arguments filled).
Answer showCatalogue(Prompter& prompter, const Translator& translator, int id, MessageStyle style,
                     const QStringList& args = {}, const QString& title = {});

// The text showError shows for `error`, translated.
QString errorText(const Translator& translator, const Error& error);

// Shows `error` in a critical box: its catalogue text, then its detail.
// An error with nothing to tell shows nothing.
void showError(Prompter& prompter, const Translator& translator, const Error& error);
// Shows the error of a failed step; nothing when it succeeded.
void showFailure(Prompter& prompter, const Translator& translator, const Status& status);

// Catalogue questions put to the user, for the layers that do not know the texts.
AskCatalogue catalogueAsker(Prompter& prompter, const Translator& translator);

} // namespace tvq52
