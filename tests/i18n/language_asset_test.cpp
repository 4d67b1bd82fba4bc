#include "i18n/loc_guru.h"
#include "i18n/native_catalogue.h"
#include "language_db_fixture.h"

#include <gtest/gtest.h>

using namespace tvq52;

namespace {

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
