#include "i18n/loc_guru.h"
#include "i18n/native_catalogue.h"
#include "language_db_fixture.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tvq52;
using tvq52::test::LanguageRow;
using tvq52::test::writeLanguageDb;

namespace {

class Lookup : public ::testing::Test {
protected:
    QString open(const QList<LanguageRow>& rows, const QString& column = QStringLiteral("English"))
    {
        const QString path = dir.filePath(QStringLiteral("lang%1.db").arg(++files));
        writeLanguageDb(path, rows);
        guru.sForeignColumnName = column;
        EXPECT_TRUE(guru.OpenLanguageDatabase(path, true, LocGuru::SqlDb)) << guru.sErrDescription().toStdString();
        return path;
    }

    QTemporaryDir dir;
    int files = 0;
    LocGuru guru;
};

TEST_F(Lookup, QuotesCaseVariantsAndSkipRowsFollowTheStoredOrder)
{
    struct Case {
        QList<LanguageRow> rows;
        QList<std::pair<const char*, const char*>> lookups;
    };
    const Case cases[] = {
        {{{"Leq1'max", "Leq1'max (en)"}, {"Canvi d'hora", "Clock change"}, {"a \"b\" c", "quoted"}},
         {{"Leq1'max", "Leq1'max (en)"},
          {"Canvi d'hora", "Clock change"},
          {"a \"b\" c", "quoted"},
          {"Leq1''max", "Leq1''max"}}},
        {{{"FECHA", "DATE"}, {"Fecha", "Date"}}, {{"Fecha", "Date"}, {"FECHA", "DATE"}, {"fecha", "fecha"}}},
        {{{"Fecha", "Date"}, {"FECHA", "DATE"}}, {{"Fecha", "Date"}, {"FECHA", "DATE"}}},
        {{{"Hola", "Hello", true}}, {{"Hola", "Hola"}}},
        // A skipped case variant stored before the exact row hides it, one stored after does not.
        {{{"HOLA", "HELLO", true}, {"Hola", "Hello"}}, {{"Hola", "Hola"}}},
        {{{"Hola", "Hello"}, {"HOLA", "HELLO", true}}, {{"Hola", "Hello"}, {"HOLA", "HOLA"}}},
    };
    for (const Case& c : cases) {
        open(c.rows);
        for (const auto& [text, expected] : c.lookups)
            EXPECT_EQ(guru.GetTranslation(QString::fromUtf8(text)), QString::fromUtf8(expected)) << text;
    }
}

TEST_F(Lookup, TheColumnMayChangeWhileOpenAndAMissingColumnOrTranslationLeavesTheNativeText)
{
    open({{"Día", "Day", false, "Tag"}, {"Noche", QString()}, {"Sesión", ""}}, QStringLiteral("Klingon"));
    EXPECT_TRUE(guru.isOpen());
    EXPECT_EQ(guru.GetTranslation("Día"), "Día");
    EXPECT_EQ(guru.GetS(1), "Idioma");

    guru.sForeignColumnName = QStringLiteral("english");
    EXPECT_EQ(guru.GetTranslation("Día"), "Day");
    // Rows the translators have not filled in never blank a control.
    EXPECT_EQ(guru.GetTranslation("Noche"), "Noche");
    EXPECT_EQ(guru.GetTranslation("Sesión"), "Sesión");
    guru.sForeignColumnName = QStringLiteral("Deutsch");
    EXPECT_EQ(guru.GetTranslation("Día"), "Tag");
}

TEST_F(Lookup, TranslatesOnlyWhenEnabledAndOpenReadOnlyAndAFailedOpenLeavesItClosed)
{
    const QString path = open({{"Día", "Day"}});
    guru.bEnabled = false;
    EXPECT_EQ(guru.GetTranslation("Día"), "Día");
    guru.bEnabled = true;
    EXPECT_EQ(guru.GetTranslation(""), "");

    ASSERT_TRUE(guru.OpenLanguageDatabase(path, false, LocGuru::SqlDb));
    EXPECT_EQ(guru.GetTranslation("Día"), "Día");
    guru.CloseLanguageDatabase();
    EXPECT_FALSE(guru.isOpen());
    EXPECT_EQ(guru.sLanguageDB(), "");
    EXPECT_EQ(guru.GetTranslation("Día"), "Día");

    // Failed opens report and leave the engine closed.
    const QString missing = dir.filePath("missing.db");
    EXPECT_FALSE(guru.OpenLanguageDatabase(missing, true, LocGuru::SqlDb));
    EXPECT_TRUE(guru.sErrDescription().contains(missing));
    EXPECT_FALSE(QFileInfo::exists(missing)) << "opening must not create the file";

    const QString other = dir.filePath("other.db");
    tvq52::test::queryRows(other, "CREATE TABLE Something (x INTEGER)", true);
    ASSERT_TRUE(guru.OpenLanguageDatabase(path, true, LocGuru::SqlDb));
    EXPECT_FALSE(guru.OpenLanguageDatabase(other, true, LocGuru::SqlDb));
    EXPECT_TRUE(guru.sErrDescription().contains("LocGuru"));
    EXPECT_FALSE(guru.isOpen());
    EXPECT_EQ(guru.sLanguageDB(), "");
    EXPECT_EQ(guru.GetTranslation("Día"), "Día");
    EXPECT_TRUE(guru.OpenLanguageDatabase(path, true, LocGuru::SqlDb));
    EXPECT_EQ(guru.sLanguageDB(), path);
}

// The index must give what walking the rows by the rules gives, for any mix
// of case variants and skip flags.
TEST_F(Lookup, IndexAgreesWithWalkingTheRows)
{
    QRandomGenerator random(52);
    const QStringList spellings = {"abc", "ABC", "Abc", "aBc", "abC", "xy", "XY", "Xy", "ñu", "ÑU", "q'z", "Q'Z"};
    for (int round = 0; round < 30; ++round) {
        QList<LanguageRow> rows;
        const int count = 1 + int(random.bounded(10));
        for (int i = 0; i < count; ++i) {
            const QString native = spellings[int(random.bounded(spellings.size()))];
            rows.append({native, QStringLiteral("t%1").arg(i), random.bounded(4) == 0});
        }
        open(rows);
        for (const QString& text : spellings) {
            // Walk in the stored order of each case-insensitive group.
            QString expected = text;
            for (const LanguageRow& r : rows) {
                if (r.native.toCaseFolded() != text.toCaseFolded())
                    continue;
                if (r.skip)
                    break;
                if (r.native == text) {
                    expected = r.english;
                    break;
                }
            }
            EXPECT_EQ(guru.GetTranslation(text), expected) << "round " << round << " text " << text.toStdString();
        }
    }
}

TEST(WidthTest, PadsByTheGrowthTable)
{
    LocGuru guru;
    guru.bTestStrWidth = true;
    // Text length, padding added.
    for (const auto& [length, padding] : {std::pair{3, 3}, {4, 4}, {7, 6}, {12, 7}, {60, 6}, {0, 0}})
        EXPECT_EQ(guru.GetTranslation(QString(length, 'a')), QString(length, 'a') + QString(padding, 'W')) << length;

    guru.setSPadChar("xyz");
    EXPECT_EQ(guru.sPadChar(), "x");
    EXPECT_EQ(guru.GetTranslation("ab"), "abxx");
    guru.setSPadChar("");
    EXPECT_EQ(guru.sPadChar(), "W");

    // Past the last pair the text grows by nothing; bad pairs are passed over.
    guru.sStrWidthFactors = "bad,5:50";
    EXPECT_EQ(guru.GetTranslation("abcd"), "abcdWW");
    EXPECT_EQ(guru.GetTranslation("abcdef"), "abcdef");
}


const QString kDatabase = QStringLiteral(TVQ52_ASSET_DIR "/Language.db");
const QStringList kLanguages = {"Español", "Català", "English", "Deutsch", "Français", "Italiano", "Português"};

// The shipped database, as the program reads it.
class ShippedLanguages : public ::testing::Test {
protected:
    LocGuru& in(const QString& language)
    {
        guru.sForeignColumnName = language;
        if (!guru.isOpen()) {
            EXPECT_TRUE(guru.OpenLanguageDatabase(kDatabase, true, LocGuru::SqlDb))
                << guru.sErrDescription().toStdString();
        }
        return guru;
    }
    LocGuru guru;
};

TEST_F(ShippedLanguages, EveryCatalogueTextIsTranslatedKeepingItsLines)
{
    for (const QString& language : kLanguages) {
        for (int id = 1; id <= nativeCatalogueSize(); ++id) {
            const QString native = *nativeCatalogueText(id);
            const QString text = in(language).GetS(id);
            ASSERT_FALSE(text.isEmpty()) << id;
            EXPECT_EQ(text.count('\r'), native.count('\r')) << language.toStdString() << " " << id;
            EXPECT_EQ(text.count('\n'), native.count('\n')) << language.toStdString() << " " << id;
            EXPECT_FALSE(text.contains("{\\")) << id;
            if (language == "Español") {
                EXPECT_EQ(text, native);
            }
        }
    }
}

TEST_F(ShippedLanguages, LanguageNamesAndTheTitleAreNeverTranslated)
{
    for (const QString& language : kLanguages) {
        for (const QString& name : kLanguages)
            EXPECT_EQ(in(language).GetTranslation(name), name);
        EXPECT_EQ(in(language).GetTranslation("TVQ-52"), "TVQ-52");
    }
    EXPECT_EQ(in("English").GetTranslation("Programación"), "Programming");
    EXPECT_EQ(in("Deutsch").GetTranslation("Cancelar"), "Abbrechen");
}

TEST_F(ShippedLanguages, TheTableHasEveryColumnTheEngineReads)
{
    QStringList columns;
    for (const QVariantList& r : tvq52::test::queryRows(kDatabase, "PRAGMA table_info(LocGuru)"))
        columns << r[1].toString();
    for (const QString& column : QStringList{"Native", "bSkip", "bIsUsed"} + kLanguages)
        EXPECT_TRUE(columns.contains(column)) << column.toStdString();
    EXPECT_EQ(in("English").maxNativeLength(), 255);
}

} // namespace
