#include "i18n/loc_guru.h"
#include "i18n/native_catalogue.h"
#include "language_db_fixture.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tvq52;

namespace {

TEST(GetS, UnknownNumbersGiveThePrefixAndTheNumberNativeTextsTheirLineBreaks)
{
    LocGuru guru;
    for (int id : {999, 0, 179, -3})
        EXPECT_EQ(guru.GetS(id), QStringLiteral("GetS: Unknown String ID %1").arg(id));
    guru.sUnknownStrID = "?";
    EXPECT_EQ(guru.GetS(500), "?500");

    // Native texts keep their line breaks.
    EXPECT_EQ(guru.GetS(42), QString::fromUtf8("LeqSesión\rdBA"));
    EXPECT_EQ(guru.GetS(177).count("\r\n"), 2);
    EXPECT_TRUE(guru.GetS(177).startsWith(QString::fromUtf8("ATENCIÓN!: El escritorio usa \"fuentes grandes\"")));
    EXPECT_EQ(guru.GetS(24), "Fecha empieza intervalo mayor o igual que  fecha termina intervalo.");
    EXPECT_EQ(guru.GetS(178), "Error importanfo datos");
    EXPECT_EQ(nativeCatalogueSize(), 178);
}

class TranslatedGetS : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString path = dir.filePath("lang.db");
        tvq52::test::writeLanguageDb(path,
                                     {
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

TEST_F(TranslatedGetS, LineBreakMarkersBecomeCrAndLfAndArgumentsFillPlaceholders)
{
    EXPECT_EQ(guru.GetS(42), "LeqSession\rdBA");
    EXPECT_EQ(guru.GetS(70), "Mon\nday");
    EXPECT_EQ(LocGuru::ConvertCrLf("a{\\r}{\\n}b{\\r}"), "a\r\nb\r");

    // Arguments fill the placeholders in order.
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
    // Text, delimiter, token taken, text left.
    const std::tuple<const char*, const char*, const char*, const char*> cases[] = {
        {"  alpha, beta", ",", "alpha", " beta"},
        {" beta", ",", "beta", ""},
        {"", ",", "", ""},
        {"\"a,b\",c", ",", "a,b", "c"},
        {"'it''s' rest", " ", "it", "'s' rest"},
        {"\"open quote, never closed", ",", "open quote, never closed", ""},
        {"\"q\"x,y", ",", "q", "x,y"},
        {"a::b", "::", "a", "b"},
    };
    for (const auto& [given, delimiter, token, left] : cases) {
        QString text = QString::fromUtf8(given);
        EXPECT_EQ(LocGuru::GetToken(text, QString::fromUtf8(delimiter)), QString::fromUtf8(token)) << given;
        EXPECT_EQ(text, QString::fromUtf8(left)) << given;
    }
}

} // namespace
