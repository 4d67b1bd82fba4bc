#include "app/language_table.h"

#include <gtest/gtest.h>

using namespace tvq52;

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
