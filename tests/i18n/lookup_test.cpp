#include "core/own_words.h"
#include "i18n/catalogue_message.h"
#include "i18n/language_setup.h"
#include "i18n/native_catalogue.h"
#include "i18n/text_language_file.h"
#include "i18n/translator.h"
#include "language_db_fixture.h"
#include "support/scripted_prompter.h"

#include <QDir>
#include <QFile>
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
        translator.foreignColumnName = column;
        const Status opened = translator.openLanguageDatabase(path, true, Translator::SqlDb);
        EXPECT_TRUE(opened) << (opened ? "" : untranslatedText(opened.error()).toStdString());
        return path;
    }

    QTemporaryDir dir;
    int files = 0;
    Translator translator;
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
            EXPECT_EQ(translator.translate(QString::fromUtf8(text)), QString::fromUtf8(expected)) << text;
    }
}

TEST_F(Lookup, TheColumnMayChangeWhileOpenAndAMissingColumnOrTranslationLeavesTheNativeText)
{
    open({{"Día", "Day", false, "Tag"}, {"Noche", QString()}, {"Sesión", ""}}, QStringLiteral("Klingon"));
    EXPECT_TRUE(translator.isOpen());
    EXPECT_EQ(translator.translate("Día"), "Día");
    EXPECT_EQ(translator.text(1), "Idioma");

    translator.foreignColumnName = QStringLiteral("english");
    EXPECT_EQ(translator.translate("Día"), "Day");
    // Rows the translators have not filled in never blank a control.
    EXPECT_EQ(translator.translate("Noche"), "Noche");
    EXPECT_EQ(translator.translate("Sesión"), "Sesión");
    translator.foreignColumnName = QStringLiteral("Deutsch");
    EXPECT_EQ(translator.translate("Día"), "Tag");
}

TEST_F(Lookup, TranslatesOnlyWhenEnabledAndOpenReadOnlyAndAFailedOpenLeavesItClosed)
{
    const QString path = open({{"Día", "Day"}});
    translator.enabled = false;
    EXPECT_EQ(translator.translate("Día"), "Día");
    translator.enabled = true;
    EXPECT_EQ(translator.translate(""), "");

    ASSERT_TRUE(translator.openLanguageDatabase(path, false, Translator::SqlDb));
    EXPECT_EQ(translator.translate("Día"), "Día");
    translator.closeLanguageDatabase();
    EXPECT_FALSE(translator.isOpen());
    EXPECT_EQ(translator.languageDatabase(), "");
    EXPECT_EQ(translator.translate("Día"), "Día");

    // Failed opens report and leave the engine closed.
    const QString missing = dir.filePath("missing.db");
    const Status none = translator.openLanguageDatabase(missing, true, Translator::SqlDb);
    ASSERT_FALSE(none);
    EXPECT_TRUE(untranslatedText(none.error()).contains(missing));
    EXPECT_FALSE(QFileInfo::exists(missing)) << "opening must not create the file";

    const QString other = dir.filePath("other.db");
    tvq52::test::queryRows(other, "CREATE TABLE Something (x INTEGER)", true);
    ASSERT_TRUE(translator.openLanguageDatabase(path, true, Translator::SqlDb));
    const Status foreign = translator.openLanguageDatabase(other, true, Translator::SqlDb);
    ASSERT_FALSE(foreign);
    EXPECT_TRUE(untranslatedText(foreign.error()).contains("LocGuru"));
    EXPECT_FALSE(translator.isOpen());
    EXPECT_EQ(translator.languageDatabase(), "");
    EXPECT_EQ(translator.translate("Día"), "Día");
    EXPECT_TRUE(translator.openLanguageDatabase(path, true, Translator::SqlDb));
    EXPECT_EQ(translator.languageDatabase(), path);
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
            EXPECT_EQ(translator.translate(text), expected) << "round " << round << " text " << text.toStdString();
        }
    }
}

TEST(WidthTest, PadsByTheGrowthTable)
{
    Translator translator;
    translator.testingWidths = true;
    // Text length, padding added.
    for (const auto& [length, padding] : {std::pair{3, 3}, {4, 4}, {7, 6}, {12, 7}, {60, 6}, {0, 0}})
        EXPECT_EQ(translator.translate(QString(length, 'a')), QString(length, 'a') + QString(padding, 'W')) << length;

    translator.setPadCharacter("xyz");
    EXPECT_EQ(translator.padCharacter(), "x");
    EXPECT_EQ(translator.translate("ab"), "abxx");
    translator.setPadCharacter("");
    EXPECT_EQ(translator.padCharacter(), "W");

    // Past the last pair the text grows by nothing; bad pairs are passed over.
    translator.widthTestFactors = "bad,5:50";
    EXPECT_EQ(translator.translate("abcd"), "abcdWW");
    EXPECT_EQ(translator.translate("abcdef"), "abcdef");
}

const QString kDatabase = QStringLiteral(TVQ52_ASSET_DIR "/Language.db");
const QStringList kLanguages = {"Español", "Català", "English", "Deutsch", "Français", "Italiano", "Português"};

// The shipped database, as the program reads it.
class ShippedLanguages : public ::testing::Test {
protected:
    Translator& in(const QString& language)
    {
        translator.foreignColumnName = language;
        if (!translator.isOpen()) {
            EXPECT_TRUE(translator.openLanguageDatabase(kDatabase, true, Translator::SqlDb));
        }
        return translator;
    }
    Translator translator;
};

TEST_F(ShippedLanguages, EveryCatalogueTextIsTranslatedKeepingItsLines)
{
    for (const QString& language : kLanguages) {
        for (int id = 1; id <= nativeCatalogueSize(); ++id) {
            const QString native = *nativeCatalogueText(id);
            const QString text = in(language).text(id);
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
            EXPECT_EQ(in(language).translate(name), name);
        EXPECT_EQ(in(language).translate("TVQ-52"), "TVQ-52");
    }
    EXPECT_EQ(in("English").translate("Programación"), "Programming");
    EXPECT_EQ(in("Deutsch").translate("Cancelar"), "Abbrechen");
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

TEST(CatalogueText, UnknownNumbersGiveThePrefixAndTheNumberNativeTextsTheirLineBreaks)
{
    Translator translator;
    for (int id : {999, 0, 179, -3})
        EXPECT_EQ(translator.text(id), QStringLiteral("GetS: Unknown String ID %1").arg(id));
    translator.unknownTextPrefix = "?";
    EXPECT_EQ(translator.text(500), "?500");

    // Native texts keep their line breaks.
    EXPECT_EQ(translator.text(42), QString::fromUtf8("LeqSesión\rdBA"));
}

class TranslatedCatalogueText : public ::testing::Test {
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
        translator.foreignColumnName = "English";
        ASSERT_TRUE(translator.openLanguageDatabase(path, true, Translator::SqlDb));
    }
    QTemporaryDir dir;
    Translator translator;
};

TEST_F(TranslatedCatalogueText, LineBreakMarkersBecomeCrAndLfAndArgumentsFillPlaceholders)
{
    EXPECT_EQ(translator.text(42), "LeqSession\rdBA");
    EXPECT_EQ(translator.text(70), "Mon\nday");
    EXPECT_EQ(Translator::convertLineBreaks("a{\\r}{\\n}b{\\r}"), "a\r\nb\r");

    // Arguments fill the placeholders in order.
    EXPECT_EQ(translator.text(59, {"A"}), "A and %s");
    EXPECT_EQ(translator.text(59, {"A", "B"}), "A and B");
    EXPECT_EQ(translator.text(59, {"A", "B", "C"}), "A and B");
    EXPECT_EQ(translator.text(59), "%s and %s");
    // A user's text is put in as it is: its own "%s" or markers stay.
    EXPECT_EQ(translator.text(59, {"50%s", "B"}), "50%s and B");
    EXPECT_EQ(translator.text(59, {"{\\r}", "B"}), "{\\r} and B");
}

// An error in the program's words is shown once, as a critical message in
// the user's language with its arguments in; without a translation at hand
// the same text reads as written.
TEST_F(TranslatedCatalogueText, OwnWordsAreShownOnceTranslatedWithTheirArgumentsFilledInOnePass)
{
    const Error missing = ownWords(QStringLiteral("No se encuentra la base de datos %1"),
                                   {QStringLiteral("/d/50%2.db")}, QStringLiteral("ENOENT"));
    EXPECT_EQ(untranslatedText(missing), QStringLiteral("No se encuentra la base de datos /d/50%2.db\n\nENOENT"));
    EXPECT_EQ(errorText(Translator(), missing), untranslatedText(missing));
    EXPECT_EQ(errorText(translator, missing), QStringLiteral("Database /d/50%2.db not found\n\nENOENT"));

    test::ScriptedPrompter prompter;
    showError(prompter, translator, missing);
    ASSERT_EQ(prompter.shown().size(), 1);
    EXPECT_EQ(prompter.shown()[0].style, MessageStyle::Critical);
    EXPECT_EQ(prompter.shown()[0].text, errorText(translator, missing));
}

// A text that is final (the system's words, or one already translated) is
// shown as it stands, even when it reads like a native text or a placeholder.
TEST_F(TranslatedCatalogueText, OwnWordsAFinalTextIsNeverLookedUpNorFilled)
{
    for (const QString& text :
         {QStringLiteral("No se encuentra la base de datos %1"), QStringLiteral("%1"), QStringLiteral("100%1 done")}) {
        const Error error = finalText(text);
        EXPECT_EQ(untranslatedText(error), text);
        EXPECT_EQ(errorText(translator, error), text);
    }
}

TEST(takeToken, QuotesDelimitersAndBlanks)
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
        EXPECT_EQ(Translator::takeToken(text, QString::fromUtf8(delimiter)), QString::fromUtf8(token)) << given;
        EXPECT_EQ(text, QString::fromUtf8(left)) << given;
    }
}

class Setup : public ::testing::Test {
protected:
    void SetUp() override { tvq52::test::writeLanguageDb(dir.filePath("Language.db"), {{"Idioma", "Language"}}); }
    QTemporaryDir dir;
    tvq52::test::ScriptedPrompter prompter;
    Translator translator;
};

TEST_F(Setup, TheWidthTestNeedsNoDatabase)
{
    EXPECT_TRUE(setUpLanguage(translator, prompter, "  <testwidth> ", "English", dir.path()));
    EXPECT_TRUE(translator.testingWidths);
    EXPECT_FALSE(translator.isOpen());
    EXPECT_EQ(translator.text(1), "IdiomaWWWWW");
    // Any later set-up turns it off again.
    EXPECT_TRUE(setUpLanguage(translator, prompter, "", "English", dir.path()));
    EXPECT_FALSE(translator.testingWidths);
    EXPECT_TRUE(prompter.shown().isEmpty());
}

TEST_F(Setup, OpensByPathOrInTheProgramFolderAndAnEmptyLanguageCloses)
{
    EXPECT_TRUE(setUpLanguage(translator, prompter, dir.filePath("Language.db"), "English", "/nowhere"));
    EXPECT_EQ(translator.foreignColumnName, "English");
    EXPECT_EQ(translator.text(1), "Language");

    EXPECT_TRUE(setUpLanguage(translator, prompter, "Language.db", "English", dir.path()));
    EXPECT_EQ(translator.languageDatabase(), QDir(dir.path()).filePath("Language.db"));
    EXPECT_EQ(translator.text(1), "Language");
    EXPECT_TRUE(prompter.shown().isEmpty());

    // An empty language closes the database.
    EXPECT_TRUE(setUpLanguage(translator, prompter, "Language.db", "  ", dir.path()));
    EXPECT_FALSE(translator.isOpen());
    EXPECT_EQ(translator.text(1), "Idioma");
}

TEST_F(Setup, AFailureIsShownAndTextsStayNative)
{
    EXPECT_FALSE(setUpLanguage(translator, prompter, "Missing.db", "English", dir.path()));
    ASSERT_EQ(prompter.shown().size(), 1);
    const Message& m = prompter.shown()[0];
    EXPECT_EQ(m.style, MessageStyle::Exclamation);
    EXPECT_TRUE(m.text.startsWith("While opening Language Database (Missing.db) the following error occurred:\r\r"));
    EXPECT_GT(m.text.size(),
              QString("While opening Language Database (Missing.db) the following error occurred:\r\r").size());
    EXPECT_FALSE(translator.isOpen());
    EXPECT_EQ(translator.text(1), "Idioma");
}

TEST_F(Setup, TheKindComesFromTheFile)
{
    EXPECT_EQ(languageDatabaseKind(dir.filePath("Language.db")), Translator::SqlDb);
    QFile::copy(dir.filePath("Language.db"), dir.filePath("lang.txt"));
    EXPECT_EQ(languageDatabaseKind(dir.filePath("lang.txt")), Translator::SqlDb);
    QFile text(dir.filePath("text.db"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("[Localization Guru]\r\n");
    text.close();
    EXPECT_EQ(languageDatabaseKind(dir.filePath("text.db")), Translator::TextFile);
    EXPECT_EQ(languageDatabaseKind(dir.filePath("absent.MDB")), Translator::SqlDb);
    EXPECT_EQ(languageDatabaseKind(dir.filePath("absent.lng")), Translator::TextFile);
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

    Translator translator;
    translator.foreignColumnName = "English";
    ASSERT_TRUE(translator.openLanguageDatabase(path, true, Translator::TextFile));
    EXPECT_EQ(translator.translate(QString::fromUtf8("Día")), "Day");
    EXPECT_EQ(translator.translate("Noche"), "Night");
    EXPECT_EQ(translator.translate("noche"), "noche");
    EXPECT_EQ(translator.translate("Zzz"), "Zzz");
    // It cannot take exports.
    const Status exported = translator.exportOneString("Nuevo");
    ASSERT_FALSE(exported);
    EXPECT_EQ(untranslatedText(exported.error()), "Text can only be exported to an SQL Language Database");

    translator.foreignColumnName = "Deutsch";
    const Status notText = translator.openLanguageDatabase(path, true, Translator::TextFile);
    ASSERT_FALSE(notText);
    EXPECT_EQ(untranslatedText(notText.error()), "Not a valid Text Language Database");
    EXPECT_FALSE(translator.isOpen());
}

} // namespace
