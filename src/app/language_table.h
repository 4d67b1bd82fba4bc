#pragma once

#include <QString>
#include <array>

namespace tvq52 {

struct LanguageInfo {
    const char* localeId; // settings value "Language"
    const char* name;     // column of the language database
    int code;             // LanguageCodeValue
    const char* helpStem; // help page, without extension
};

// The seven interface languages, in the order the language dialog lists them.
const std::array<LanguageInfo, 7>& languageTable();

// By the settings value; anything unknown (or empty) is English.
const LanguageInfo& languageByLocaleId(const QString& localeId);
// By LanguageCodeValue; nullptr for codes outside the table.
const LanguageInfo* languageByCode(int code);
// The code of a language name, 0 when the name is not in the table.
int LanguageCode(const QString& name);
// The help page of a code; unknown codes get the English one.
QString helpFileName(int code);

} // namespace tvq52
