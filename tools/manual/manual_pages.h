#pragma once

#include "core/error.h"

#include <QString>

namespace tvq52 {

class Translator;

// Writes the pages of `sourceFolder` into `outFolder`, each {{Native text}}
// replaced by that text of the windows as `translator` translates it (access keys
// taken out, escaped for HTML). A placeholder left open fails the page.
Status writeManualPages(const QString& sourceFolder, const QString& outFolder, const Translator& translator);

// A window text as the manual prints it: without its access-key marks or
// a label's closing colon.
QString manualWindowText(const Translator& translator, const QString& native);

} // namespace tvq52
