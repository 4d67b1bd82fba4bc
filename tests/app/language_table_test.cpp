#include "app/language_table.h"

#include <gtest/gtest.h>

using namespace tvq52;

TEST(LanguageTable, SettingsValuesMapToNamesCodesAndHelp)
{
    struct Case {
        const char* value;
        const char* name;
        int code;
        const char* help;
    };
    const Case cases[] = {
        {"1034", "Español", 1000, "TVQ-52_ESP.html"}, {"1027", "Català", 2000, "TVQ-52_CAT.html"},
        {"1033", "English", 3000, "TVQ-52_ENG.html"}, {"1031", "Deutsch", 4000, "TVQ-52_DEU.html"},
        {"1036", "Français", 5000, "TVQ-52_FRA.html"}, {"1040", "Italiano", 6000, "TVQ-52_ITA.html"},
        {"2070", "Português", 7000, "TVQ-52_PTR.html"},
    };
    for (const Case& c : cases) {
        const LanguageInfo& l = languageByLocaleId(QString::fromLatin1(c.value));
        EXPECT_EQ(QString::fromUtf8(l.name), QString::fromUtf8(c.name));
        EXPECT_EQ(l.code, c.code);
        EXPECT_EQ(LanguageCode(QString::fromUtf8(c.name)), c.code);
        EXPECT_EQ(helpFileName(c.code), QString::fromLatin1(c.help));
    }
}

TEST(LanguageTable, UnknownValuesGiveEnglish)
{
    for (const char* value : {"", "1035", "0", "1034 ", "abc", "3000"}) {
        const LanguageInfo& l = languageByLocaleId(QString::fromLatin1(value));
        EXPECT_EQ(QString::fromUtf8(l.name), QStringLiteral("English")) << value;
        EXPECT_EQ(l.code, 3000);
    }
    EXPECT_EQ(LanguageCode(QStringLiteral("Klingon")), 0);
    EXPECT_EQ(LanguageCode(QStringLiteral("english")), 0);
    EXPECT_EQ(LanguageCode(QString()), 0);
    EXPECT_EQ(helpFileName(0), QStringLiteral("TVQ-52_ENG.html"));
    EXPECT_EQ(helpFileName(1500), QStringLiteral("TVQ-52_ENG.html"));
    EXPECT_EQ(languageByCode(8000), nullptr);
}
