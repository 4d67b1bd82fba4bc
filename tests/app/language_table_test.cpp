#include "app/language_table.h"

#include <QDir>
#include <QPair>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlRecord>

#include <gtest/gtest.h>

using namespace tvq52;

// The table names a column of the language database, which shows only when a
// user picks that language, so check it against the database the build lays
// out (the manual's test checks each language's pages).
TEST(LanguageTable, EveryLanguageHasItsColumn)
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
        pages.insert(helpFolderName(l.code));
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
    // The program's own codes name no language in the file: a number is an identifier.
    for (const char* value : {"", "1035", "0", "10", "abc", "nl_NL", "Klingon", "4000", "7000"}) {
        const LanguageInfo& l = languageByLocaleId(QString::fromLatin1(value));
        EXPECT_EQ(QString::fromUtf8(l.name), QStringLiteral("English")) << value;
    }
    // Names are matched exactly, as the language database spells them.
    EXPECT_EQ(LanguageCode(QStringLiteral("english")), 0);
    EXPECT_EQ(LanguageCode(QString()), 0);
    EXPECT_EQ(languageByCode(8000), nullptr);
    EXPECT_EQ(helpFolderName(8000), helpFolderName(LanguageCode(QStringLiteral("English"))));
}

// A setting may name its language the way a person would; all of these
// lead to the same row, and nothing else does.
TEST(LanguageTable, ALanguageIsFoundByIdentifierCodeNameOrLocale)
{
    const QList<QPair<const char*, const char*>> spellings{
        {"1031", "Deutsch"},    {"Deutsch", "Deutsch"},     {"german", "Deutsch"},
        {"de", "Deutsch"},      {"de_AT.UTF-8", "Deutsch"}, {" FRANÇAIS ", "Français"}, {"francais", "Français"},
        {"fr-CA", "Français"},  {"català", "Català"},       {"CATALA", "Català"},       {"ca_ES@valencia", "Català"},
        {"pt_BR", "Português"}, {"portugues", "Português"}, {"2070", "Português"},      {"es", "Español"},
        {"spanish", "Español"}, {"en_US", "English"},       {"it", "Italiano"}};
    for (const auto& [text, name] : spellings) {
        const LanguageInfo* l = languageFromText(QString::fromUtf8(text));
        ASSERT_NE(l, nullptr) << text;
        EXPECT_EQ(QString::fromUtf8(l->name), QString::fromUtf8(name)) << text;
        EXPECT_EQ(&languageByLocaleId(QString::fromUtf8(text)), l) << text;
    }
    // Typed by a person, the program's own code names its language too.
    EXPECT_EQ(languageFromText(QStringLiteral("4000")), languageByCode(4000));
    for (const char* text : {"", "  ", "nl", "C", "POSIX", "1035", "3001", "10", "e", "deutschland"})
        EXPECT_EQ(languageFromText(QString::fromLatin1(text)), nullptr) << text;
}

TEST(LanguageTable, TheSystemsFirstLanguageOfTheSevenIsTaken)
{
    auto name = [](const QStringList& ui) {
        const LanguageInfo* l = languageFromSystem(ui);
        return l ? QString::fromUtf8(l->name) : QStringLiteral("none");
    };
    EXPECT_EQ(name({"de_DE.UTF-8"}), QStringLiteral("Deutsch"));
    // A preference list: the first of ours wins, others are passed over.
    EXPECT_EQ(name({"nl_NL", "fr_BE", "en_GB"}), QStringLiteral("Français"));
    EXPECT_EQ(name({"C.UTF-8"}), QStringLiteral("none"));
    EXPECT_EQ(name({"ja_JP", "ru"}), QStringLiteral("none"));
    EXPECT_EQ(name({}), QStringLiteral("none"));
}

TEST(LanguageTable, SystemLanguagesFollowTheEnvironmentAsTheCLibraryDoes)
{
    const QByteArray saved[] = {qgetenv("LANGUAGE"), qgetenv("LC_ALL"), qgetenv("LC_MESSAGES"), qgetenv("LANG")};
    const char* const names[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
    auto set = [&](const char* language, const char* all, const char* messages, const char* lang) {
        const char* values[] = {language, all, messages, lang};
        for (int i = 0; i < 4; ++i)
            values[i] ? qputenv(names[i], values[i]) : qunsetenv(names[i]);
    };
    set(nullptr, nullptr, nullptr, "it_IT.UTF-8");
    EXPECT_EQ(systemLanguages(), QStringList({"it_IT.UTF-8"}));
    // LC_ALL outranks LANG, and LANGUAGE lists the preferences first.
    set("ca:es", "de_DE.UTF-8", nullptr, "it_IT.UTF-8");
    EXPECT_EQ(systemLanguages(), QStringList({"ca", "es", "de_DE.UTF-8"}));
    set(nullptr, nullptr, "pt_PT", "it_IT.UTF-8");
    EXPECT_EQ(systemLanguages(), QStringList({"pt_PT"}));
    // The C locale asks for no language, whatever LANGUAGE says.
    set("fr", "C.UTF-8", nullptr, nullptr);
    EXPECT_TRUE(systemLanguages().isEmpty());
    set(nullptr, nullptr, nullptr, nullptr);
    EXPECT_TRUE(systemLanguages().isEmpty());
    for (int i = 0; i < 4; ++i)
        saved[i].isNull() ? qunsetenv(names[i]) : qputenv(names[i], saved[i]);
}
