#pragma once

#include <QString>
#include <QStringList>

namespace tvq52 {

// The files of Qt's own texts (message-box and dialog buttons, file and
// print dialogs) for a language, best first: the language of its country,
// the language alone, then a sibling (Portuguese falls back on Brazil's).
// Empty for English, which Qt's texts are written in.
QStringList qtTranslationFiles(int languageCode);

// Puts Qt's own texts in the language of `languageCode`, replacing those of
// an earlier call; English takes them away. The files are read from
// `folder`, by default where Qt's translations are installed. The path of
// the file loaded; empty when none was (English, or none installed: Qt's
// texts then stay in English).
QString useQtTranslations(int languageCode, const QString& folder = {});

} // namespace tvq52
