#include "db/store.h"
#include "exchange/exchange_format.h"
#include "exchange/exchange_writer.h"
#include "exchange/gui/exchange_import_dialog.h"
#include "support/layout_checks.h"
#include "support/result_checks.h"
#include "support/rows.h"
#include "support/started_program.h"

#include <QDate>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSqlQuery>

using namespace tvq52;
using namespace tvq52::test;

namespace {

// Erasure days of one unit, one a row, and a row that is no date at line 5.
QByteArray erasures(int rows)
{
    QByteArray file = "//DiaBorrado//\r\nLNumeroSerie;DFecha;THora\r\n";
    for (int i = 0; i < rows; ++i) {
        file += "52001;" + QDate(2000, 1, 1).addDays(i).toString(Qt::ISODate).toLatin1() + ";\"10:00\"\r\n";
        if (i == 2)
            file += "52001;2024-13-01;\"10:00\"\r\n";
    }
    return file;
}

void grab(QWidget& w, const QString& name)
{
    const QString shots = qEnvironmentVariable("TVQ52_SHOTS");
    if (!shots.isEmpty())
        w.grab().save(QDir(shots).filePath(name + QStringLiteral(".png")));
}

TEST(ExchangeImportDialog, ShowsProgressThenTheSummaryWholeInEveryLanguage)
{
    StartedProgram program;
    AppContext& ctx = program.shell->context();
    program.home.writeFile(QStringLiteral("units.TQ52"), erasures(6000));
    const char* const options[] = {"OptionEspañol", "OptionCatalan",  "OptionIngles",   "OptionAleman",
                                   "OptionFrances", "OptionItaliano", "OptionPortugues"};
    bool firstFile = true;
    for (const char* option : options) {
        program.chooseLanguage(option);
        const QString tag = QString::fromUtf8(option).mid(6);
        ExchangeImportDialog dialog(ctx.translator, program.prompter, *ctx.db,
                                    program.home.file(QStringLiteral("units.TQ52")), nullptr);
        int progressShown = 0;
        dialog.afterProgress = [&](const ImportProgress& p) {
            if (progressShown++ > 0)
                return;
            EXPECT_FALSE(dialog.finished());
            EXPECT_GT(p.rows, 0);
            EXPECT_TRUE(child<QLabel>(&dialog, "lblText")->text().contains(QString::number(p.added)));
            expectWhole(dialog, QStringLiteral("Form16_progress_") + tag);
            grab(dialog, QStringLiteral("Form16_progress_") + tag);
        };
        dialog.show();
        settle();
        ASSERT_TRUE(dialog.finished());
        EXPECT_GT(progressShown, 0);
        EXPECT_EQ(child<QLabel>(&dialog, "lblFitxer")->text(), QStringLiteral("units.TQ52"));
        const QString summary = child<QPlainTextEdit>(&dialog, "txtResumen")->toPlainText();
        // Added the first time, present every other time; line 5 is refused each time.
        EXPECT_TRUE(summary.contains(QStringLiteral("6000"))) << summary.toStdString();
        EXPECT_TRUE(summary.contains(QStringLiteral("2024-13-01"))) << summary.toStdString();
        EXPECT_EQ(dialog.summary().tables[0].added, firstFile ? 6000 : 0);
        EXPECT_EQ(dialog.summary().tables[0].firstRefused.value(0).line, 6);
        firstFile = false;
        expectWhole(dialog, QStringLiteral("Form16_summary_") + tag);
        grab(dialog, QStringLiteral("Form16_summary_") + tag);
        child<QPushButton>(&dialog, "sscmdCancel")->click();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
    EXPECT_TRUE(program.prompter.shown().isEmpty());
}

TEST(ExchangeImportDialog, CancelStopsTheImportAndKeepsWhatWasCommitted)
{
    StartedProgram program;
    AppContext& ctx = program.shell->context();
    program.home.writeFile(QStringLiteral("big.TQ52"), erasures(40000));
    ExchangeImportDialog dialog(ctx.translator, program.prompter, *ctx.db, program.home.file(QStringLiteral("big.TQ52")),
                                nullptr);
    dialog.afterProgress = [&](const ImportProgress&) {
        if (dialog.finished())
            return;
        grab(dialog, QStringLiteral("Form16_during_import"));
        child<QPushButton>(&dialog, "sscmdCancel")->click();
    };
    dialog.show();
    settle();
    ASSERT_TRUE(dialog.finished());
    EXPECT_TRUE(dialog.isVisible()); // the summary stays up
    grab(dialog, QStringLiteral("Form16_after_cancel"));
    const ImportSummary& s = dialog.summary();
    ASSERT_TRUE(s.cancelled);
    EXPECT_LT(s.tables[0].added, 40000);
    Store store(*ctx.db);
    EXPECT_EQ(test::take(store.count(QStringLiteral("DiaBorrado"))), s.tables[0].added);
}

} // namespace

namespace {

// A database that fails mid-import: the window says the import stopped and
// why, as the command line does, and counts only what was stored.
TEST(ExchangeImportDialog, ADatabaseFailureIsShownAsAStoppedImport)
{
    StartedProgram program;
    AppContext& ctx = program.shell->context();
    program.home.writeFile(QStringLiteral("units.TQ52"), erasures(3000));
    QSqlQuery pages(ctx.db->connection());
    ASSERT_TRUE(pages.exec(QStringLiteral("PRAGMA page_count")) && pages.next());
    // Room for the journal entry and a little more: the disk fills mid-import.
    ASSERT_TRUE(QSqlQuery(ctx.db->connection())
                    .exec(QStringLiteral("PRAGMA max_page_count = %1").arg(pages.value(0).toInt() + 4)));
    ExchangeImportDialog dialog(ctx.translator, program.prompter, *ctx.db, program.home.file(QStringLiteral("units.TQ52")),
                                nullptr);
    dialog.show();
    settle();
    QSqlQuery(ctx.db->connection()).exec(QStringLiteral("PRAGMA max_page_count = 1073741823"));
    ASSERT_TRUE(dialog.finished());
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.summary().failure.kind, DatabaseFailure::Kind::DiskFull);
    EXPECT_GT(dialog.summary().failedAtLine, 2);
    EXPECT_EQ(child<QLabel>(&dialog, "lblText")->text(),
              QStringLiteral("Importación detenida por un fallo de la base de datos"));
    const QString summary = child<QPlainTextEdit>(&dialog, "txtResumen")->toPlainText();
    EXPECT_TRUE(summary.startsWith(QStringLiteral("La importación se ha detenido en la línea %1: el disco de la base "
                                                  "de datos está lleno")
                                       .arg(dialog.summary().failedAtLine)))
        << summary.toStdString();
    qint64 added = 0, refused = 0;
    for (const TableImport& t : dialog.summary().tables) {
        added += t.added;
        refused += t.refused;
    }
    EXPECT_EQ(refused, 1) << "only the day that does not exist, no row for the full disk: " << summary.toStdString();
    EXPECT_EQ(test::take(Store(*ctx.db).count(QStringLiteral("DiaBorrado"))), added);
    EXPECT_TRUE(program.prompter.shown().isEmpty()) << program.prompter.shown().value(0).text.toStdString();
}

TEST(ExchangeImportDialog, AFileThatCannotBeReadOrIsNoExchangeFileIsToldOnceAndTheWindowCloses)
{
    StartedProgram program;
    AppContext& ctx = program.shell->context();
    program.home.writeFile(QStringLiteral("text.TQ52"), "just some notes\r\nnothing else\r\n");
    for (const char* name : {"none.TQ52", "text.TQ52"}) {
        program.prompter.clear();
        ExchangeImportDialog dialog(ctx.translator, program.prompter, *ctx.db, program.home.file(QLatin1String(name)),
                                    nullptr);
        dialog.show();
        settle();
        EXPECT_TRUE(dialog.finished()) << name;
        EXPECT_FALSE(dialog.isVisible()) << name;
        ASSERT_EQ(program.prompter.shown().size(), 1) << name;
        EXPECT_EQ(program.prompter.shown()[0].style, MessageStyle::Exclamation) << name;
    }
    EXPECT_TRUE(program.prompter.shown()[0].text.startsWith(QStringLiteral("No es un archivo de intercambio")));
}

} // namespace

namespace {

// A file changed after it was written: the rows are imported and summed up,
// and a warning in the user's language says the file is not what was sent.
TEST(ExchangeImportDialog, AFileChangedOnTheWayBringsAWarning)
{
    StartedProgram program;
    AppContext& ctx = program.shell->context();
    program.chooseLanguage("OptionIngles");
    ASSERT_TRUE(Store(*ctx.db).insert("Programacion", row({{"LNumeroSerie", 52001}})));
    ASSERT_TRUE(Store(*ctx.db).insert(
        "DiaBorrado", row({{"LNumeroSerie", 52001}, {"DFecha", QDate(2000, 1, 2)}, {"THora", "10:00"}})));
    const QString sent = program.home.file(QStringLiteral("sent.TQ52"));
    ASSERT_TRUE(writeExchangeFile(*ctx.db, sent, {52001}).ok());
    QFile file(sent);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    bytes[bytes.indexOf("2000-01-02") + 9] = '7';
    ASSERT_TRUE(file.seek(0) && file.write(bytes) == bytes.size());
    file.close();
    ExchangeImportDialog dialog(ctx.translator, program.prompter, *ctx.db, sent, nullptr);
    dialog.show();
    settle();
    EXPECT_TRUE(dialog.isVisible()) << "the summary stays up";
    ASSERT_EQ(program.prompter.shown().size(), 1);
    EXPECT_EQ(program.prompter.shown()[0].style, MessageStyle::Exclamation);
    EXPECT_TRUE(
        program.prompter.shown()[0].text.startsWith(QStringLiteral("The file was changed after it was written")))
        << program.prompter.shown()[0].text.toStdString();
    EXPECT_TRUE(child<QPlainTextEdit>(&dialog, "txtResumen")->toPlainText().contains(program.prompter.shown()[0].text));
    EXPECT_EQ(test::take(Store(*ctx.db).count(QStringLiteral("DiaBorrado"))), 2);
}

} // namespace

namespace {

// Where only signed files are taken, the window asks before a row of an
// unsigned one is stored, No being the default.
TEST(ExchangeImportDialog, AnUnsignedFileWhereSignedOnesAreRequiredIsImportedOnlyIfTheUserSaysSo)
{
    StartedProgram program;
    AppContext& ctx = program.shell->context();
    program.chooseLanguage("OptionIngles");
    program.home.writeFile(QStringLiteral("plain.TQ52"), erasures(3));
    for (const Answer answer : {Answer::No, Answer::Yes}) {
        program.prompter.answer(answer);
        ExchangeImportDialog dialog(ctx.translator, program.prompter, *ctx.db,
                                    program.home.file(QStringLiteral("plain.TQ52")), nullptr);
        dialog.requireSigned = true;
        dialog.show();
        settle();
        const Message& asked = program.prompter.shown().at(0);
        EXPECT_EQ(asked.style, MessageStyle::YesNoQuestion);
        EXPECT_EQ(asked.defaultAnswer, Answer::No);
        EXPECT_TRUE(asked.text.contains(QStringLiteral("no valid signature"))) << asked.text.toStdString();
        EXPECT_EQ(test::take(Store(*ctx.db).count(QStringLiteral("DiaBorrado"))), answer == Answer::Yes ? 3 : 0);
        if (answer == Answer::No) {
            EXPECT_TRUE(program.prompter.shown().at(1).text.startsWith(QStringLiteral("Nothing was imported")));
        }
        program.prompter.clear();
    }
}

} // namespace
