#include "app/language_table.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlRecord>

#include <gtest/gtest.h>

using namespace tvq52;

// The table names things that live elsewhere: a column of the language
// database, a help page, a Windows locale id kept in settings files. A typo in
// any of them shows only when a user picks that language, so check them
// against the assets the build lays out.
TEST(LanguageTable, EveryLanguageHasItsColumnAndHelpPage)
{
    const QString assets = QStringLiteral(TVQ52_ASSET_DIR);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("language-table"));
        db.setDatabaseName(assets + QStringLiteral("/Language.db"));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        ASSERT_TRUE(db.open());
        const QSqlRecord columns = db.record(QStringLiteral("LocGuru"));
        ASSERT_FALSE(columns.isEmpty());
        for (const LanguageInfo& l : languageTable()) {
            const QString name = QString::fromUtf8(l.name);
            EXPECT_GE(columns.indexOf(name), 0) << "no column " << name.toStdString();
            EXPECT_TRUE(QFileInfo::exists(assets + QStringLiteral("/help/") + helpFileName(l.code)))
                << helpFileName(l.code).toStdString();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("language-table"));
}

TEST(LanguageTable, KeysAreDistinctAndLookupsAgree)
{
    QSet<QString> ids;
    QSet<int> codes;
    QSet<QString> pages;
    for (const LanguageInfo& l : languageTable()) {
        ids.insert(QString::fromLatin1(l.localeId));
        codes.insert(l.code);
        pages.insert(helpFileName(l.code));
        // Every way in leads to the same row.
        EXPECT_EQ(&languageByLocaleId(QString::fromLatin1(l.localeId)), &l);
        ASSERT_NE(languageByCode(l.code), nullptr);
        EXPECT_EQ(languageByCode(l.code), &l);
        EXPECT_EQ(LanguageCode(QString::fromUtf8(l.name)), l.code);
    }
    EXPECT_EQ(ids.size(), 7);
    EXPECT_EQ(codes.size(), 7);
    EXPECT_EQ(pages.size(), 7);
}

TEST(LanguageTable, AnythingUnknownFallsBackToEnglish)
{
    for (const char* value : {"", "1035", "0", "1034 ", "abc"}) {
        const LanguageInfo& l = languageByLocaleId(QString::fromLatin1(value));
        EXPECT_EQ(QString::fromUtf8(l.name), QStringLiteral("English")) << value;
    }
    // Names are matched exactly, as the language database spells them.
    EXPECT_EQ(LanguageCode(QStringLiteral("english")), 0);
    EXPECT_EQ(LanguageCode(QString()), 0);
    EXPECT_EQ(languageByCode(8000), nullptr);
    EXPECT_EQ(helpFileName(8000), helpFileName(LanguageCode(QStringLiteral("English"))));
}
