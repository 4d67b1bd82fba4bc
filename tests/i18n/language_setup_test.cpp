#include "i18n/language_setup.h"
#include "i18n/loc_guru.h"
#include "language_db_fixture.h"
#include "support/scripted_prompter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tvq52;

namespace {

class Setup : public ::testing::Test {
protected:
    void SetUp() override { tvq52::test::writeLanguageDb(dir.filePath("Language.db"), {{"Idioma", "Language"}}); }
    QTemporaryDir dir;
    tvq52::test::ScriptedPrompter prompter;
    LocGuru guru;
};

TEST_F(Setup, TheWidthTestNeedsNoDatabase)
{
    EXPECT_TRUE(SetupLanguage(guru, prompter, "  <testwidth> ", "English", dir.path()));
    EXPECT_TRUE(guru.bTestStrWidth);
    EXPECT_FALSE(guru.isOpen());
    EXPECT_EQ(guru.GetS(1), "IdiomaWWWWW");
    // Any later set-up turns it off again.
    EXPECT_TRUE(SetupLanguage(guru, prompter, "", "English", dir.path()));
    EXPECT_FALSE(guru.bTestStrWidth);
    EXPECT_TRUE(prompter.shown().isEmpty());
}

TEST_F(Setup, OpensByPathOrInTheProgramFolderAndAnEmptyLanguageCloses)
{
    EXPECT_TRUE(SetupLanguage(guru, prompter, dir.filePath("Language.db"), "English", "/nowhere"));
    EXPECT_EQ(guru.sForeignColumnName, "English");
    EXPECT_EQ(guru.GetS(1), "Language");

    EXPECT_TRUE(SetupLanguage(guru, prompter, "Language.db", "English", dir.path()));
    EXPECT_EQ(guru.sLanguageDB(), QDir(dir.path()).filePath("Language.db"));
    EXPECT_EQ(guru.GetS(1), "Language");
    EXPECT_TRUE(prompter.shown().isEmpty());

    // An empty language closes the database.
    EXPECT_TRUE(SetupLanguage(guru, prompter, "Language.db", "  ", dir.path()));
    EXPECT_FALSE(guru.isOpen());
    EXPECT_EQ(guru.GetS(1), "Idioma");
}

TEST_F(Setup, AFailureIsShownAndTextsStayNative)
{
    EXPECT_FALSE(SetupLanguage(guru, prompter, "Missing.db", "English", dir.path()));
    ASSERT_EQ(prompter.shown().size(), 1);
    const Message& m = prompter.shown()[0];
    EXPECT_EQ(m.style, MessageStyle::Exclamation);
    EXPECT_TRUE(m.text.startsWith("While opening Language Database (Missing.db) the following error occurred:\r\r"));
    EXPECT_GT(m.text.size(),
              QString("While opening Language Database (Missing.db) the following error occurred:\r\r").size());
    EXPECT_FALSE(guru.isOpen());
    EXPECT_EQ(guru.GetS(1), "Idioma");
}

TEST_F(Setup, TheKindComesFromTheFile)
{
    EXPECT_EQ(languageDatabaseKind(dir.filePath("Language.db")), LocGuru::SqlDb);
    QFile::copy(dir.filePath("Language.db"), dir.filePath("lang.txt"));
    EXPECT_EQ(languageDatabaseKind(dir.filePath("lang.txt")), LocGuru::SqlDb);
    QFile text(dir.filePath("text.db"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("[Localization Guru]\r\n");
    text.close();
    EXPECT_EQ(languageDatabaseKind(dir.filePath("text.db")), LocGuru::TextFile);
    EXPECT_EQ(languageDatabaseKind(dir.filePath("absent.MDB")), LocGuru::SqlDb);
    EXPECT_EQ(languageDatabaseKind(dir.filePath("absent.lng")), LocGuru::TextFile);
}

} // namespace
