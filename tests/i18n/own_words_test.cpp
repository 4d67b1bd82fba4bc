#include "core/own_words.h"
#include "i18n/catalogue_message.h"
#include "i18n/loc_guru.h"
#include "language_db_fixture.h"
#include "support/scripted_prompter.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tvq52;

namespace {

class OwnWords : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString path = dir.filePath("lang.db");
        tvq52::test::writeLanguageDb(path, {{"No se encuentra la base de datos %1", "Database %1 not found"}});
        translated.sForeignColumnName = "English";
        ASSERT_TRUE(translated.OpenLanguageDatabase(path, true, LocGuru::SqlDb));
    }
    QTemporaryDir dir;
    LocGuru native;
    LocGuru translated;
};

// An error in the program's words is shown once, as a critical message in
// the user's language with its arguments in; without a translation at hand
// the same text reads as written.
TEST_F(OwnWords, AreShownOnceTranslatedWithTheirArgumentsFilledInOnePass)
{
    const Error missing = ownWords(QStringLiteral("No se encuentra la base de datos %1"),
                                   {QStringLiteral("/d/50%2.db")}, QStringLiteral("ENOENT"));
    EXPECT_EQ(untranslatedText(missing), QStringLiteral("No se encuentra la base de datos /d/50%2.db\n\nENOENT"));
    EXPECT_EQ(errorText(native, missing), untranslatedText(missing));
    EXPECT_EQ(errorText(translated, missing), QStringLiteral("Database /d/50%2.db not found\n\nENOENT"));

    test::ScriptedPrompter prompter;
    showError(prompter, translated, missing);
    ASSERT_EQ(prompter.shown().size(), 1);
    EXPECT_EQ(prompter.shown()[0].style, MessageStyle::Critical);
    EXPECT_EQ(prompter.shown()[0].text, errorText(translated, missing));
}

// A text that is final (the system's words, or one already translated) is
// shown as it stands, even when it reads like a native text or a placeholder.
TEST_F(OwnWords, AFinalTextIsNeverLookedUpNorFilled)
{
    for (const QString& text :
         {QStringLiteral("No se encuentra la base de datos %1"), QStringLiteral("%1"), QStringLiteral("100%1 done")}) {
        const Error error = finalText(text);
        EXPECT_EQ(untranslatedText(error), text);
        EXPECT_EQ(errorText(translated, error), text);
    }
}

} // namespace
