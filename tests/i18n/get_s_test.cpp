#include "core/own_words.h"
#include "i18n/catalogue_message.h"
#include "i18n/loc_guru.h"
#include "language_db_fixture.h"
#include "support/scripted_prompter.h"

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
                                         {"No se encuentra la base de datos %1", "Database %1 not found"},
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

// An error in the program's words is shown once, as a critical message in
// the user's language with its arguments in; without a translation at hand
// the same text reads as written.
TEST_F(TranslatedGetS, OwnWordsAreShownOnceTranslatedWithTheirArgumentsFilledInOnePass)
{
    const Error missing = ownWords(QStringLiteral("No se encuentra la base de datos %1"),
                                   {QStringLiteral("/d/50%2.db")}, QStringLiteral("ENOENT"));
    EXPECT_EQ(untranslatedText(missing), QStringLiteral("No se encuentra la base de datos /d/50%2.db\n\nENOENT"));
    EXPECT_EQ(errorText(LocGuru(), missing), untranslatedText(missing));
    EXPECT_EQ(errorText(guru, missing), QStringLiteral("Database /d/50%2.db not found\n\nENOENT"));

    test::ScriptedPrompter prompter;
    showError(prompter, guru, missing);
    ASSERT_EQ(prompter.shown().size(), 1);
    EXPECT_EQ(prompter.shown()[0].style, MessageStyle::Critical);
    EXPECT_EQ(prompter.shown()[0].text, errorText(guru, missing));
}

// A text that is final (the system's words, or one already translated) is
// shown as it stands, even when it reads like a native text or a placeholder.
TEST_F(TranslatedGetS, OwnWordsAFinalTextIsNeverLookedUpNorFilled)
{
    for (const QString& text :
         {QStringLiteral("No se encuentra la base de datos %1"), QStringLiteral("%1"), QStringLiteral("100%1 done")}) {
        const Error error = finalText(text);
        EXPECT_EQ(untranslatedText(error), text);
        EXPECT_EQ(errorText(guru, error), text);
    }
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
