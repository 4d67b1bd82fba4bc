#include "app/data_folder.h"
#include "app/gui/window_needs.h"
#include "app/ini_file.h"
#include "core/catalogue_ids.h"
#include "programming/gui/programming_window.h"
#include "programming/gui/window_fixture.h"
#include "reports/gui/report_preview.h"
#include "reports/programming_report.h"
#include "support/file_bytes.h"
#include "support/file_size_limit.h"
#include "support/result_checks.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

using namespace tvq52;
using namespace tvq52::test;

namespace {

// The programming window's print button, with the preview replaced by a
// probe that keeps every page's texts.
class ProgrammingPrint : public WindowFixture {
protected:
    void open()
    {
        ProgrammingWindow::Needs needs = programmingWindowNeeds(*ctx_, prompter_);
        needs.openPreview = [this](const RenderedReport& r, const QString&, QWidget*) {
            ++previews;
            texts.clear();
            for (int p = 0; p < r.pageCount(); ++p)
                texts += r.pageTexts(p);
        };
        window = std::make_unique<ProgrammingWindow>(needs);
        activate(window.get());
    }

    void setStored(qint32 serial, const QString& column, const QVariant& value)
    {
        Row values;
        values.set(column, value);
        Row key;
        key.set(QStringLiteral("LNumeroSerie"), serial);
        ASSERT_EQ(test::take(store_->update(QStringLiteral("Programacion"), values, key)), 1);
    }

    void print() { child<QPushButton>(window.get(), "SSCommandImprimir")->click(); }

    std::unique_ptr<ProgrammingWindow> window;
    int previews = 0;
    QStringList texts;
};

TEST_F(ProgrammingPrint, SerialZeroDoesNothingAndUnsavedChangesAreOfferedFirst)
{
    open();
    window->showNewRecord();
    print();
    EXPECT_EQ(previews, 0);
    EXPECT_TRUE(prompter_.shown().isEmpty());

    storeUnit(4711, QStringLiteral("Sala Apolo"));
    ASSERT_TRUE(window->loadStored(4711));
    window->setModified(true);
    prompter_.answer(Answer::Cancel);
    print();
    EXPECT_EQ(prompter_.catalogueIds(), QList<int>({msg::SaveChanges}));
    EXPECT_EQ(previews, 0) << "cancelling the question stays with the edits";
    EXPECT_TRUE(window->isModified());
    prompter_.clear();
    prompter_.answer(Answer::Discard);
    print();
    EXPECT_EQ(prompter_.catalogueIds(), QList<int>({msg::SaveChanges}));
    EXPECT_EQ(previews, 1) << "discarding the edits prints the stored record";
    EXPECT_TRUE(texts.contains(QStringLiteral("Sala Apolo")));
}

TEST_F(ProgrammingPrint, StoredRecordPrintsAsTypedWithItsComputedFields)
{
    const QString venue = QStringLiteral("Bar \"L'Estació\"; 100%");
    storeUnit(4711, venue, QStringLiteral("3.3"));
    setStored(4711, QStringLiteral("TTipoActuacionVecino"), QStringLiteral("0"));
    setStored(4711, QStringLiteral("BoCambioHora"), true);
    Row date;
    date.set(QStringLiteral("LNumeroSerie"), 4711);
    date.set(QStringLiteral("DFecha"), QDate(2024, 2, 29));
    date.set(QStringLiteral("THora"), QStringLiteral("10:15"));
    ASSERT_TRUE(store_->insert(QStringLiteral("DiaBorrado"), date));
    open();
    ASSERT_TRUE(window->loadStored(4711));
    print();
    ASSERT_EQ(previews, 1);
    EXPECT_TRUE(texts.contains(venue));
    EXPECT_TRUE(texts.contains(ctx_->translator.text(140))) << "neighbour action 0";
    EXPECT_TRUE(texts.contains(ctx_->translator.text(68))) << "clock change";
    EXPECT_TRUE(texts.contains(QStringLiteral("29/02/2024")));
    EXPECT_TRUE(texts.contains(QStringLiteral("10:15")));
    EXPECT_TRUE(texts.contains(ctx_->translator.text(127) + QLatin1Char(':')));
    EXPECT_FALSE(texts.contains(ctx_->translator.text(120))) << "no global correction below 4.0";

    // The window's version field decides, as typed.
    child<QLineEdit>(window.get(), "MaskVersion")->setText(QStringLiteral("4.0"));
    window->setModified(false);
    print();
    EXPECT_TRUE(texts.contains(ctx_->translator.text(120)));
}

// The footer is the settings file's, not what the settings row mirrored when
// a window last closed: `tvq52-cli config set User` reaches the print button.
TEST_F(ProgrammingPrint, TheFooterIsTheOneOfTheSettingsFile)
{
    storeUnit(4711, QStringLiteral("Sala Apolo"));
    Row mirrored;
    mirrored.set(QStringLiteral("TUsuario"), QStringLiteral("Mirrored at the last exit"));
    ASSERT_EQ(test::take(store_->update(QStringLiteral("Configuracion"), mirrored, Row())), 1);
    ASSERT_TRUE(WriteSetting(QStringLiteral("Configuration"), QStringLiteral("User"),
                             QString::fromUtf8("Inspección Área Norte"), settingsPath(ctx_->home)));
    open();
    ASSERT_TRUE(window->loadStored(4711));
    print();
    ASSERT_EQ(previews, 1);
    EXPECT_TRUE(texts.contains(QString::fromUtf8("Inspección Área Norte")));
    EXPECT_FALSE(texts.contains(QStringLiteral("Mirrored at the last exit")));
}

TEST_F(ProgrammingPrint, MissingTemplateIsShownOnceAndTheWindowStaysUsable)
{
    storeUnit(4711, QStringLiteral("Sala Apolo"));
    open();
    ASSERT_TRUE(window->loadStored(4711));
    QTemporaryDir empty;
    qputenv("TVQ52_ASSETS", empty.path().toUtf8());
    print();
    qunsetenv("TVQ52_ASSETS");
    EXPECT_EQ(previews, 0);
    ASSERT_EQ(prompter_.shown().size(), 1);
    EXPECT_EQ(prompter_.shown().front().style, MessageStyle::Critical);
    EXPECT_TRUE(prompter_.shown().front().text.contains(QLatin1String("tvq52_1.xml")));
    EXPECT_TRUE(child<QPushButton>(window.get(), "SSCommandImprimir")->isEnabled());
    print();
    EXPECT_EQ(previews, 1);
}

// The preview pages the report; saving it as a PDF on a full disk tells the
// user and leaves the PDF saved before whole; with room it is replaced and
// the user told where it went.
TEST_F(ProgrammingPrint, PreviewPagesAndSavesThePdfOrLeavesTheEarlierOne)
{
    storeUnit(4711, QStringLiteral("Sala Apolo"));
    auto built = buildProgrammingReport(
        *ctx_->db, ctx_->translator, reportTemplatePath(QStringLiteral(TVQ52_ASSET_DIR), "tvq52_1.xml"), 4711, {}, {});
    ASSERT_TRUE(built);
    ReportPreviewWindow preview(*built, prompter_, ctx_->translator);
    preview.show();
    settle();
    EXPECT_EQ(preview.preview()->pageCount(), built->pageCount());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("prog.pdf"));
    const QByteArray earlier("%PDF-1.4 the programming printed last week\n");
    ASSERT_TRUE(writeBytes(path, earlier));
    prompter_.fileAnswer(path);
    {
        FileSizeLimit limit(4096);
        child<QPushButton>(&preview, "SSCommandPdf")->click();
    }
    ASSERT_EQ(prompter_.shown().size(), 1);
    EXPECT_EQ(prompter_.shown().front().style, MessageStyle::Critical);
    EXPECT_TRUE(prompter_.shown().front().text.contains(path));
    EXPECT_EQ(readBytes(path), earlier);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("prog.pdf")});

    prompter_.clear();
    prompter_.fileAnswer(path);
    child<QPushButton>(&preview, "SSCommandPdf")->click();
    const QByteArray saved = readBytes(path);
    EXPECT_TRUE(saved.startsWith("%PDF-"));
    EXPECT_GT(saved.size(), 4096) << "the whole report, not the earlier file";
    // Then, once a run, the warning that the PC has no key to sign with.
    ASSERT_GE(prompter_.shown().size(), 1);
    ASSERT_LE(prompter_.shown().size(), 2);
    EXPECT_EQ(prompter_.shown()[0].style, MessageStyle::Information);
    EXPECT_TRUE(prompter_.shown()[0].text.contains(path)) << prompter_.shown()[0].text.toStdString();
    EXPECT_EQ(prompter_.shown().back().style,
              prompter_.shown().size() == 2 ? MessageStyle::Exclamation : MessageStyle::Information);
}

} // namespace
