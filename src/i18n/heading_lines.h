#pragma once

#include <QString>

namespace tvq52 {

// Two-line column headings are stored with a CR between the lines (the
// catalogue's form); Qt headers break lines on LF.
QString headingForDisplay(const QString& text);
// The stored form of a heading as shown.
QString headingKey(const QString& shown);

} // namespace tvq52
