#include "i18n/loc_guru.h"
#include "i18n/native_catalogue.h"
#include "language_db_fixture.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tvq52;

namespace {

TEST(GetS, UnknownNumbersGiveThePrefixAndTheNumber)
{
    LocGuru guru;
    EXPECT_EQ(guru.GetS(999), "GetS: Unknown String ID 999");
    EXPECT_EQ(guru.GetS(0), "GetS: Unknown String ID 0");
    EXPECT_EQ(guru.GetS(179), "GetS: Unknown String ID 179");
    EXPECT_EQ(guru.GetS(-3), "GetS: Unknown String ID -3");
    guru.sUnknownStrID = "?";
    EXPECT_EQ(guru.GetS(500), "?500");
}

TEST(GetS, NativeTextsKeepTheirLineBreaks)
{
    LocGuru guru;
    EXPECT_EQ(guru.GetS(42), QString::fromUtf8("LeqSesión\rdBA"));
    EXPECT_EQ(guru.GetS(177).count("\r\n"), 2);
    EXPECT_TRUE(guru.GetS(177).startsWith(QString::fromUtf8("ATENCIÓN!: El sistema tiene configurada la opción de \"fuentes grandes\".")));
    EXPECT_EQ(guru.GetS(24), "Fecha empieza intervalo mayor o igual que  fecha termina intervalo.");
    EXPECT_EQ(guru.GetS(178), "Error importanfo datos");
    EXPECT_EQ(nativeCatalogueSize(), 178);
}

class TranslatedGetS : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString path = dir.filePath("lang.db");
        tvq52::test::writeLanguageDb(path, {
            {QString::fromUtf8("LeqSesión\rdBA"), "LeqSession{\\r}dBA"},
            {"No hay datos", "%s and %s"},
            {"Lunes", "Mon{\\n}day"},
        });
        guru.sForeignColumnName = "English";
        ASSERT_TRUE(guru.OpenLanguageDatabase(path, true, LocGuru::SqlDb));
    }
    QTemporaryDir dir;
    LocGuru guru;
};

TEST_F(TranslatedGetS, LineBreakMarkersBecomeCrAndLf)
{
    EXPECT_EQ(guru.GetS(42), "LeqSession\rdBA");
    EXPECT_EQ(guru.GetS(70), "Mon\nday");
    EXPECT_EQ(LocGuru::ConvertCrLf("a{\\r}{\\n}b{\\r}"), "a\r\nb\r");
}

TEST_F(TranslatedGetS, ArgumentsFillPlaceholdersInOrder)
{
    EXPECT_EQ(guru.GetS(59, {"A"}), "A and %s");
    EXPECT_EQ(guru.GetS(59, {"A", "B"}), "A and B");
    EXPECT_EQ(guru.GetS(59, {"A", "B", "C"}), "A and B");
    EXPECT_EQ(guru.GetS(59), "%s and %s");
    // A user's text is put in as it is: its own "%s" or markers stay.
    EXPECT_EQ(guru.GetS(59, {"50%s", "B"}), "50%s and B");
    EXPECT_EQ(guru.GetS(59, {"{\\r}", "B"}), "{\\r} and B");
}

TEST(GetToken, QuotesDelimitersAndBlanks)
{
    QString text = "  alpha, beta";
    EXPECT_EQ(LocGuru::GetToken(text, ","), "alpha");
    EXPECT_EQ(text, " beta");
    EXPECT_EQ(LocGuru::GetToken(text, ","), "beta");
    EXPECT_EQ(text, "");
    EXPECT_EQ(LocGuru::GetToken(text, ","), "");

    text = "\"a,b\",c";
    EXPECT_EQ(LocGuru::GetToken(text, ","), "a,b");
    EXPECT_EQ(text, "c");

    text = "'it''s' rest";
    EXPECT_EQ(LocGuru::GetToken(text, " "), "it");
    EXPECT_EQ(text, "'s' rest");

    text = "\"open quote, never closed";
    EXPECT_EQ(LocGuru::GetToken(text, ","), "open quote, never closed");
    EXPECT_EQ(text, "");

    text = "\"q\"x,y";
    EXPECT_EQ(LocGuru::GetToken(text, ","), "q");
    EXPECT_EQ(text, "x,y");

    text = "a::b";
    EXPECT_EQ(LocGuru::GetToken(text, "::"), "a");
    EXPECT_EQ(text, "b");
}

} // namespace
