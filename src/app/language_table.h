#pragma once

#include <QString>
#include <QStringList>
#include <array>

namespace tvq52 {

struct LanguageInfo {
    const char* localeId; // settings value "Language"
    const char* name;     // column of the language database
    int code;             // LanguageCodeValue
    const char* helpFolder; // the folder of its manual pages
    const char* iso;      // ISO 639-1 code, as system locales name it
    const char* region;   // the country its texts are written for
};

// The seven interface languages, in the order the language dialog lists them.
const std::array<LanguageInfo, 7>& languageTable();

// By the settings value; anything unknown (or empty) is English, and so is
// a number that is none of the seven locale identifiers.
const LanguageInfo& languageByLocaleId(const QString& localeId);
// By LanguageCodeValue; nullptr for codes outside the table.
const LanguageInfo* languageByCode(int code);
// The code of a language name, 0 when the name is not in the table.
int LanguageCode(const QString& name);
// The folder of a code's manual, and one page of it by its topic ("index",
// "records"...); unknown codes get the English one.
QString helpFolderName(int code);
QString helpPage(int code, const QString& topic);

// A language as a person may write it: the locale identifier ("1033"), the
// program's code ("3000"), its name in its own language or in English
// ("Deutsch", "german"; any case, accents optional), its ISO code or a
// locale name ("en", "en_GB", "pt-PT.UTF-8"). nullptr when it names none of
// the seven.
const LanguageInfo* languageFromText(const QString& text);

// The first of the system's languages (most preferred first, as locale
// names) that is one of the seven; nullptr when none is ("C", "POSIX" or
// another language).
const LanguageInfo* languageFromSystem(const QStringList& uiLanguages);

// The system's preferred languages: $LANGUAGE's list, then LC_ALL,
// LC_MESSAGES and LANG, the way the C library picks messages.
QStringList systemLanguages();

} // namespace tvq52
