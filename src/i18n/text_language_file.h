#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace tvq52 {

// The native texts of a text language file with the chosen language's texts
// beside them, sorted by native text (case-sensitive) for binary search.
struct TextLanguageTable {
    QStringList native;
    QStringList foreign;
};

// Reads the profile-format language file: section "Localization Guru" with
// "NumberOfLanguages" and "NumberOfStrings", then one section per language
// ("[NATIVE]", "[ENGLISH]", ...) of key=text lines in the same order.
// Nothing when the header or either section is short.
std::optional<TextLanguageTable> parseTextLanguageFile(const QString& contents, const QString& language);

} // namespace tvq52
