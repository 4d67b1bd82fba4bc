#pragma once

#include "i18n/translator.h"

class QObject;

namespace tvq52 {

// The texts of composite widgets that are not plain properties: tab texts
// and tab tool tips, column headings of table and tree views (two-line
// headings stay on two lines) and series names of charts. Passes each
// non-empty text to `visit` and stores the answer when it differs. Returns
// true for the widgets it knows.
bool walkSpecialControl(QObject* control, const Translator::TextVisitor& visit);

// Lets `translator` reach those texts when it translates or exports a window, and
// gives each window it translates its button tips, access keys and
// standard shortcuts.
void installWidgetTranslation(Translator& translator);

} // namespace tvq52
