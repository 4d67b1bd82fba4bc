#include "app/language_table.h"

namespace tvq52 {

namespace {

constexpr std::array<LanguageInfo, 7> kLanguages = {{
    {"1034", "Español", 1000, "TVQ-52_ESP"},
    {"1027", "Català", 2000, "TVQ-52_CAT"},
    {"1033", "English", 3000, "TVQ-52_ENG"},
    {"1031", "Deutsch", 4000, "TVQ-52_DEU"},
    {"1036", "Français", 5000, "TVQ-52_FRA"},
    {"1040", "Italiano", 6000, "TVQ-52_ITA"},
    {"2070", "Português", 7000, "TVQ-52_PTR"},
}};

constexpr std::size_t kEnglish = 2;

} // namespace

const std::array<LanguageInfo, 7>& languageTable()
{
    return kLanguages;
}

const LanguageInfo& languageByLocaleId(const QString& localeId)
{
    for (const LanguageInfo& l : kLanguages)
        if (localeId == QLatin1String(l.localeId))
            return l;
    return kLanguages[kEnglish];
}

const LanguageInfo* languageByCode(int code)
{
    for (const LanguageInfo& l : kLanguages)
        if (l.code == code)
            return &l;
    return nullptr;
}

int LanguageCode(const QString& name)
{
    for (const LanguageInfo& l : kLanguages)
        if (name == QString::fromUtf8(l.name))
            return l.code;
    return 0;
}

QString helpFileName(int code)
{
    const LanguageInfo* l = languageByCode(code);
    return QString::fromLatin1((l ? *l : kLanguages[kEnglish]).helpStem) + QLatin1String(".html");
}

} // namespace tvq52
