#include "i18n/loc_guru.h"
#include "i18n/text_language_file.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tvq52;

namespace {

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
