#include "core/own_words.h"
#include "core/prompter.h"
#include "i18n/native_catalogue.h"
#include "i18n/translator.h"
#include "language_db_fixture.h"
#include "support/scripted_prompter.h"

#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tvq52;
using tvq52::test::usedNatives;

namespace {

// A control with the properties a button has.
class FakeButton : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText)
    Q_PROPERTY(QString toolTip READ toolTip WRITE setToolTip)
public:
    FakeButton(QString text, QString tip, QObject* parent)
        : QObject(parent), text_(std::move(text)), tip_(std::move(tip))
    {}
    QString text() const { return text_; }
    void setText(const QString& t) { text_ = t; }
    QString toolTip() const { return tip_; }
    void setToolTip(const QString& t) { tip_ = t; }

private:
    QString text_;
    QString tip_;
};

class Export : public ::testing::Test {
protected:
    void SetUp() override
    {
        path = dir.filePath("Language.db");
        tvq52::test::writeLanguageDb(path, {{"Idioma", "Language"}, {"Texto viejo", "Old text"}, {"IDIOMA", "LANG"}});
        translator.setPrompter(&prompter);
        ASSERT_TRUE(translator.openLanguageDatabase(path, false, Translator::SqlDb));
    }
    QTemporaryDir dir;
    QString path;
    tvq52::test::ScriptedPrompter prompter;
    Translator translator;
};

TEST_F(Export, CatalogueWritesExactlyItsTextsAndMarksOnlyThem)
{
    const Status exported = translator.exportStrings();
    ASSERT_TRUE(exported) << untranslatedText(exported.error()).toStdString();
    translator.closeLanguageDatabase();

    const QStringList used = usedNatives(path);
    QSet<QString> expected;
    for (int id = 1; id <= 178; ++id)
        expected.insert(*nativeCatalogueText(id));
    EXPECT_EQ(used.size(), 178);
    EXPECT_EQ(QSet<QString>(used.begin(), used.end()), expected);
    // The existing row was marked, not doubled, and keeps its translation;
    // the unused row stays but is no longer marked.
    EXPECT_EQ(tvq52::test::rowCount(path), 3 + 177);
    EXPECT_TRUE(used.contains(QString::fromUtf8("LeqSesión\rdBA")));
    EXPECT_FALSE(used.contains("Texto viejo"));
    EXPECT_FALSE(used.contains("IDIOMA"));

    translator.foreignColumnName = "English";
    ASSERT_TRUE(translator.openLanguageDatabase(path, true, Translator::SqlDb));
    EXPECT_EQ(translator.text(1), "Language");
    EXPECT_EQ(translator.text(2), "N. Serie:");
}

TEST_F(Export, ObjectsGiveTheirListedTextsUnlessExcluded)
{
    QObject form;
    form.setObjectName("FormX");
    new FakeButton("Aceptar", "Guardar y salir", &form);
    new FakeButton("-", "", &form);
    auto* hidden = new FakeButton("Interno", "Interno también", &form);
    hidden->setProperty("Tag", "!private");
    ASSERT_TRUE(translator.exportFormStrings(&form));
    EXPECT_EQ(usedNatives(path), QStringList({"Aceptar", "Guardar y salir"}));
}

TEST_F(Export, ApostrophesAreStoredAsGivenAndFoundAgain)
{
    ASSERT_TRUE(translator.exportOneString("Canvi d'hora"));
    ASSERT_TRUE(translator.exportOneString("Canvi d'hora"));
    EXPECT_EQ(usedNatives(path), QStringList({"Canvi d'hora"}));
    EXPECT_EQ(tvq52::test::rowCount(path), 4);
}

TEST_F(Export, OverlongTextsAreReportedAndSkipped)
{
    const QString small = dir.filePath("small.db");
    tvq52::test::writeLanguageDb(small, {}, "VARCHAR(10)");
    ASSERT_TRUE(translator.openLanguageDatabase(small, false, Translator::SqlDb));
    EXPECT_EQ(translator.maxNativeLength(), 10);
    EXPECT_TRUE(translator.exportOneString("0123456789"));
    EXPECT_TRUE(translator.exportOneString("0123456789A"));
    ASSERT_EQ(prompter.shown().size(), 1);
    EXPECT_EQ(prompter.shown()[0].text,
              "The following string of 11 characters is longer than the maximum of 10 characters that can be "
              "stored in the language database:\r\r0123456789A");
    EXPECT_EQ(usedNatives(small), QStringList({"0123456789"}));
}

TEST_F(Export, NeedsADatabaseOpenForWriting)
{
    translator.closeLanguageDatabase();
    const QString notOpen = "The language database is not open for export";
    for (const Status& refused : {translator.exportOneString("x"), translator.exportStrings()})
        EXPECT_EQ(refused ? QString() : untranslatedText(refused.error()), notOpen);
    ASSERT_TRUE(translator.openLanguageDatabase(path, true, Translator::SqlDb));
    const Status readOnly = translator.exportOneString("x");
    EXPECT_EQ(readOnly ? QString() : untranslatedText(readOnly.error()), notOpen);
    EXPECT_TRUE(translator.exportOneString(""));
}

// A write that fails ends the export with the database's own words: a form's
// texts after it are not tried, and the failure is not taken for success.
TEST_F(Export, AFailedWriteEndsTheExportAndSaysWhy)
{
    QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "locker");
    other.setDatabaseName(path);
    ASSERT_TRUE(other.open());
    QSqlQuery(other).exec("PRAGMA busy_timeout=0");
    ASSERT_TRUE(QSqlQuery(other).exec("BEGIN EXCLUSIVE"));
    QObject form;
    new FakeButton("Aceptar", "Guardar y salir", &form);
    const Status exported = translator.exportFormStrings(&form);
    QSqlQuery(other).exec("ROLLBACK");
    other.close();
    other = {};
    QSqlDatabase::removeDatabase("locker");
    ASSERT_FALSE(exported);
    EXPECT_TRUE(untranslatedText(exported.error()).contains("locked")) << untranslatedText(exported.error()).toStdString();
    EXPECT_TRUE(usedNatives(path).isEmpty());
}

} // namespace

#include "export_test.moc"
