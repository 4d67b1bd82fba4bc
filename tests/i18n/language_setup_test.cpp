#include "i18n/language_setup.h"
#include "i18n/loc_guru.h"
#include "i18n/text_language_file.h"
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

const char* kFile =
    "[Localization Guru]\r\n"
    "NumberOfLanguages=2\r\n"
    "NumberOfStrings=3\r\n"
    "Language1=English\r\n"
    "Language1_Offset=12\r\n"
    "[NATIVE]\r\n"
    "S1=Noche\r\n"
    "S2=Día\r\n"
    "S3=a=b\r\n"
    "[ENGLISH]\r\n"
    "S1=Night\r\n"
    "S2=Day\r\n"
    "S3=equals\r\n";

TEST(TextLanguageFile, ReadsAndSortsTheChosenLanguageAndRejectsShortHeadersAndSections)
{
    const auto table = parseTextLanguageFile(QString::fromUtf8(kFile), "english");
    ASSERT_TRUE(table);
    EXPECT_EQ(table->native, QStringList({"Día", "Noche", "a=b"}));
    EXPECT_EQ(table->foreign, QStringList({"Day", "Night", "equals"}));

    // Short headers and sections are rejected.
    QString text = QString::fromUtf8(kFile);
    EXPECT_FALSE(parseTextLanguageFile(QString(text).replace("NumberOfStrings=3", "NumberOfStrings=0"), "English"));
    EXPECT_FALSE(parseTextLanguageFile(QString(text).replace("NumberOfLanguages=2", "NumberOfLanguages=x"), "English"));
    EXPECT_FALSE(parseTextLanguageFile(QString(text).replace("S3=equals\r\n", ""), "English"));
    EXPECT_FALSE(parseTextLanguageFile(text, "Deutsch"));
}

TEST(TextLanguageFile, EngineTranslatesFromIt)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("lang.txt");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(kFile);
    f.close();

    LocGuru guru;
    guru.sForeignColumnName = "English";
    ASSERT_TRUE(guru.OpenLanguageDatabase(path, true, LocGuru::TextFile));
    EXPECT_EQ(guru.GetTranslation(QString::fromUtf8("Día")), "Day");
    EXPECT_EQ(guru.GetTranslation("Noche"), "Night");
    EXPECT_EQ(guru.GetTranslation("noche"), "noche");
    EXPECT_EQ(guru.GetTranslation("Zzz"), "Zzz");
    // It cannot take exports.
    EXPECT_FALSE(guru.ExportOneString("Nuevo"));
    EXPECT_EQ(guru.sErrDescription(), "Text can only be exported to an SQL Language Database");

    guru.sForeignColumnName = "Deutsch";
    EXPECT_FALSE(guru.OpenLanguageDatabase(path, true, LocGuru::TextFile));
    EXPECT_EQ(guru.sErrDescription(), "Not a valid Text Language Database");
    EXPECT_FALSE(guru.isOpen());
}

} // namespace
