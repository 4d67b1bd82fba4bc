#include "app/app_context.h"
#include "app/data_folder.h"
#include "app/gui/window_needs.h"
#include "app/ini_file.h"
#include "db/store.h"
#include "evidence/journal.h"
#include "i18n/translator.h"
#include "records/gui/record_grid_items.h"
#include "records/gui/records_fixture.h"
#include "reports/gui/report_window.h"
#include "reports/recorded_report.h"
#include "support/file_bytes.h"
#include "support/file_size_limit.h"
#include "support/folder_database.h"
#include "support/result_checks.h"
#include "support/rows.h"
#include "support/scripted_prompter.h"
#include "support/temp_home.h"

#include <QApplication>
#include <QDir>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTableView>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>

using namespace tvq52;
using namespace tvq52::test;

namespace {

constexpr qint32 kSerial = 52001;
const QString kVenue = QStringLiteral("Bar d'en \"Pep\"; 100% música");

QDateTime at(int d, int h, int m)
{
    return QDateTime(QDate(2026, 6, d), QTime(h, m), Qt::UTC);
}

class RecordedReports : public FolderDatabaseTest {
protected:
    Translator translator;

    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(FolderDatabaseTest::SetUp());
        ASSERT_TRUE(store->insert("Programacion",
                                  row({{"LNumeroSerie", kSerial},
                                       {"TLocal", kVenue},
                                       {"TVersion", "3.3"},
                                       {"THoraEmpiezaNoche", "23:00"},
                                       {"THoraTerminaNoche", "07:00"}})));
    }
    void interval(const QDateTime& start, double leqLocal,
                  std::initializer_list<std::pair<const char*, QVariant>> more = {})
    {
        const QDateTime end = start.addSecs(15 * 60);
        Row r = spanRow(kSerial, start, end,
                        {{"ByTLeq", 15},
                         {"SLeqLocal", leqLocal},
                         {"ByNivelLeqLocal", 80},
                         {"SLeqVecino", 0.0},
                         {"ByENA", 12},
                         {"BoProgramacion", false}});
        for (const auto& [c, v] : more)
            r.set(QString::fromUtf8(c), v);
        ASSERT_TRUE(test::succeeded(store->insert("Intervalos", r)));
    }
    void session(const QDateTime& start)
    {
        ASSERT_TRUE(store->insert("Sesiones",
                                  row({{"LNumeroSerie", kSerial},
                                       {"DFechaInicio", start.date()},
                                       {"THoraInicio", start.toString("HH:mm")},
                                       {"SLeq", 121.0},
                                       {"LPasadasLocal", 4321}})));
    }
    RecordedReportResult build(RecordedReportKind kind, const QDateTime& from, const QDateTime& to,
                               const QString& assets = QStringLiteral(TVQ52_ASSET_DIR))
    {
        return buildRecordedReport(*db, translator,
                                   {kind, kSerial, from, to, QStringLiteral("Inspección municipal"), assets});
    }
    static QStringList texts(const RecordedReportResult& r)
    {
        QStringList all;
        if (!r) {
            ADD_FAILURE() << "report error " << r.error().catalogueId << ": " << r.error().detail.toStdString();
        } else if (const auto& report = *r) {
            for (int p = 0; p < report->pageCount(); ++p)
                all += report->pageTexts(p);
        } else {
            ADD_FAILURE() << "no records";
        }
        return all;
    }
};

} // namespace

TEST_F(RecordedReports, AnIntervalReportPrintsTheScriptsTextsTheVenueAsTypedAndTheJournalHead)
{
    interval(at(1, 23, 0), 0.0);
    interval(at(1, 23, 15), 59.0, {{"ByENA", 255}});
    interval(at(1, 23, 30), 121.0, {{"SLeqVecino", 45.0}, {"BoProgramacion", true}});
    interval(at(1, 23, 45), 75.3);
    ASSERT_TRUE(Journal(*db).append(JournalAction::Download, kSerial, "ttyS0", "completed", "ok"));
    const QByteArray head = Journal(*db).head().value();
    ASSERT_FALSE(head.isEmpty());

    const QStringList t = texts(build(RecordedReportKind::Intervals, at(1, 23, 0), at(1, 23, 45)));
    EXPECT_TRUE(t.contains(kVenue));
    EXPECT_TRUE(t.contains(QString::fromLatin1(head)));
    EXPECT_TRUE(t.contains("Inspección municipal"));
    for (const char* shown : {"---", "und", "up", "75.3", "45", "12min", "Sin calibrar", "Sí", "23:45"})
        EXPECT_TRUE(t.contains(QString::fromUtf8(shown))) << shown;
    EXPECT_FALSE(t.contains("75.3000030517578"));
}

// An interval range without records is a report with an empty list; a
// session report needs a session starting in the range.
TEST_F(RecordedReports, ARangeWithoutRecordsPrintsAnEmptyListOfIntervalsAndNoSessionReport)
{
    interval(at(2, 10, 0), 70.0);
    session(at(2, 22, 0));
    const auto empty = build(RecordedReportKind::Intervals, at(1, 0, 0), at(1, 23, 59));
    ASSERT_TRUE(empty && empty->has_value());
    const QStringList t = texts(empty);
    EXPECT_TRUE(t.contains(kVenue)); // the unit's part prints
    EXPECT_TRUE(t.contains("---")) << "no journal yet: no head to print";
    EXPECT_FALSE(t.contains("10:00"));
    EXPECT_FALSE(t.contains("70"));

    const RecordedReportResult none = build(RecordedReportKind::Sessions, at(1, 0, 0), at(2, 21, 59));
    ASSERT_TRUE(none);
    EXPECT_FALSE(none->has_value()) << "nothing to print";
    const QStringList s = texts(build(RecordedReportKind::Sessions, at(1, 0, 0), at(2, 22, 0)));
    for (const char* shown : {"02/06/2026", "up", "4321"})
        EXPECT_TRUE(s.contains(QLatin1String(shown))) << shown;
}

TEST_F(RecordedReports, TheExceedancePageStatesTheNightAndItsGap)
{
    interval(at(1, 23, 0), 82.4);
    interval(at(1, 23, 15), 121.0);
    const QStringList t = texts(build(RecordedReportKind::Exceedances, at(1, 12, 0), at(2, 12, 0)));
    EXPECT_TRUE(t.contains("Noche programada: 23:00 - 07:00"));
    EXPECT_TRUE(t.contains("01/06/2026 23:00 - 07:00"));
    EXPECT_TRUE(t.contains("UP / 80 (2)"));
    EXPECT_TRUE(t.contains("450")); // 480 minutes, 30 of them recorded
}

TEST_F(RecordedReports, AMissingTemplateIsAnErrorNotAReport)
{
    QTemporaryDir empty;
    const auto result = build(RecordedReportKind::Intervals, at(1, 0, 0), at(2, 0, 0), empty.path());
    ASSERT_FALSE(result);
    EXPECT_TRUE(isReportFailure(result.error(), ReportFailure::TemplateMissing));
}

namespace {

class ReportWindowTest : public RecordedReports {
protected:
    std::unique_ptr<AppContext> ctx;
    ScriptedPrompter prompter;
    std::unique_ptr<ReportWindow> window;
    QStringList previewed;
    int previews = 0;

    void open(const QString& firmware = QStringLiteral("3.3"))
    {
        ctx = std::make_unique<AppContext>(home.path());
        ctx->db = std::move(db);
        db.reset();
        ctx->unit.select(kSerial, firmware);
        ReportWindow::Needs needs = reportWindowNeeds(*ctx, prompter);
        needs.openPreview = [this](const RenderedReport& r, const QString&, QWidget*) {
            ++previews;
            for (int p = 0; p < r.pageCount(); ++p)
                previewed += r.pageTexts(p);
        };
        window = std::make_unique<ReportWindow>(needs);
        window->show();
        QApplication::processEvents();
    }
    static void pick(QTableView* view, int row)
    {
        view->selectionModel()->clearSelection();
        if (row >= 0)
            view->selectRow(row);
    }
};

} // namespace

TEST_F(ReportWindowTest, TheRangeIsTheStoredStartOfThePickedRowsAcrossMidnight)
{
    interval(at(1, 23, 30), 70.1);
    interval(at(1, 23, 45), 70.2);
    interval(at(2, 0, 0), 70.3);
    interval(at(2, 0, 15), 70.4);
    open();
    ASSERT_EQ(window->startGrid()->rowCount(), 4);
    pick(window->startView(), 1);
    pick(window->endView(), 2);
    const auto range = window->chosenRange();
    ASSERT_TRUE(range);
    EXPECT_EQ(range->first, at(1, 23, 45));
    EXPECT_EQ(range->second, at(2, 0, 0));

    window->print();
    EXPECT_EQ(previews, 1);
    EXPECT_TRUE(previewed.contains("70.2"));
    EXPECT_TRUE(previewed.contains("70.3"));
    EXPECT_FALSE(previewed.contains("70.1"));
    EXPECT_FALSE(previewed.contains("70.4"));
}

// Either end of the range can be typed: Enter picks the first interval that
// starts then or later (from) or the last that starts then or earlier (to),
// whichever way the grid is sorted, and a picked row shows its start.
TEST_F(ReportWindowTest, ATypedDatePicksItsRowAndAPickedRowShowsItsStart)
{
    interval(at(1, 23, 30), 70.1);
    interval(at(1, 23, 45), 70.2);
    interval(at(2, 0, 0), 70.3);
    interval(at(2, 0, 15), 70.4);
    open();
    auto* from = window->findChild<QLineEdit*>(QStringLiteral("TxtDesde"));
    auto* to = window->findChild<QLineEdit*>(QStringLiteral("TxtHasta"));
    ASSERT_TRUE(from && to);
    EXPECT_EQ(from->text(), at(1, 23, 30).toString(QStringLiteral("dd/MM/yyyy HH:mm")));
    EXPECT_EQ(to->text(), at(2, 0, 15).toString(QStringLiteral("dd/MM/yyyy HH:mm")));

    const auto type = [](QLineEdit* field, const QDateTime& when) {
        field->setText(when.toString(QStringLiteral("dd/MM/yyyy HH:mm")));
        emit field->returnPressed();
    };
    type(from, at(1, 23, 40));
    type(to, at(2, 0, 10));
    auto range = window->chosenRange();
    ASSERT_TRUE(range);
    EXPECT_EQ(range->first, at(1, 23, 45));
    EXPECT_EQ(range->second, at(2, 0, 0));
    EXPECT_EQ(from->text(), at(1, 23, 45).toString(QStringLiteral("dd/MM/yyyy HH:mm")));

    // Newest first now: the same dates pick the same intervals.
    window->startView()->sortByColumn(window->startGrid()->columnOf(QStringLiteral("DFechaInicio")), Qt::DescendingOrder);
    type(from, at(1, 23, 31));
    range = window->chosenRange();
    ASSERT_TRUE(range);
    EXPECT_EQ(range->first, at(1, 23, 45));

    // A date that is none, or one after every interval, is told and picks nothing.
    EXPECT_TRUE(prompter.shown().isEmpty());
    from->setText(QStringLiteral("31/02/2026 10:00"));
    emit from->returnPressed();
    type(from, at(3, 0, 0));
    ASSERT_EQ(prompter.shown().size(), 2);
    EXPECT_EQ(prompter.catalogueIds().last(), 59);
    EXPECT_EQ(window->chosenRange()->first, at(1, 23, 45));
}

// No row picked in the first grid prints nothing; a session range without
// sessions says there is no data.
TEST_F(ReportWindowTest, NoRowPickedOrNoSessionInTheRangePrintsNothing)
{
    interval(at(1, 23, 30), 70.1);
    session(at(3, 22, 0));
    open();
    pick(window->startView(), -1);
    window->print();
    EXPECT_EQ(previews, 0);
    EXPECT_TRUE(prompter.shown().isEmpty());

    pick(window->startView(), 0);
    window->setKind(RecordedReportKind::Sessions);
    window->print();
    EXPECT_EQ(previews, 0);
    EXPECT_EQ(prompter.catalogueIds(), QList<int>{59});
}

TEST_F(ReportWindowTest, TheUncalibratedMinuteColumnsShowFromFirmware30)
{
    interval(at(1, 23, 30), 70.1);
    for (const auto& [firmware, shown] : {std::pair{"2.9", false}, std::pair{"3.0", true}, std::pair{"4.1", true}}) {
        open(QString::fromLatin1(firmware));
        for (const char* field : {"ByLineaInsuficiente", "ByDNA", "ByENA"}) {
            const int c = window->startGrid()->columnOf(QString::fromLatin1(field));
            EXPECT_EQ(window->startView()->isColumnHidden(c), !shown) << firmware << field;
            EXPECT_EQ(window->endView()->isColumnHidden(c), !shown) << firmware << field;
        }
        db = std::move(ctx->db);
    }
}

// Interval, session and exceedance reports print the settings file's footer
// as it is when they print, even empty, never the row's older copy.
TEST_F(ReportWindowTest, EveryKindPrintsTheFooterOfTheSettingsFile)
{
    interval(at(1, 23, 30), 70.1);
    session(at(1, 23, 30));
    ASSERT_EQ(test::take(store->update("Configuracion", row({{"TUsuario", "Mirrored at the last exit"}}), Row())), 1);
    open();
    const QString file = settingsPath(home.path());
    ASSERT_TRUE(WriteSetting("Configuration", "User", QString::fromUtf8("Inspección Área Norte"), file));
    pick(window->startView(), 0);
    for (RecordedReportKind kind :
         {RecordedReportKind::Intervals, RecordedReportKind::Sessions, RecordedReportKind::Exceedances}) {
        previewed.clear();
        window->setKind(kind);
        window->print();
        EXPECT_TRUE(previewed.contains(QString::fromUtf8("Inspección Área Norte"))) << int(kind);
        EXPECT_FALSE(previewed.contains("Mirrored at the last exit")) << int(kind);
    }
    ASSERT_TRUE(WriteSetting("Configuration", "User", QString(), file));
    previewed.clear();
    window->setKind(RecordedReportKind::Intervals);
    window->print();
    EXPECT_FALSE(previewed.contains("Mirrored at the last exit")) << "an empty footer stays empty";
    EXPECT_FALSE(previewed.contains(QString::fromUtf8("Inspección Área Norte")));
}

namespace {

using CsvFromRecordedData = RecordsWindowFixture;

} // namespace

// The grid of the tab shown, as shown: an older unit's file has no
// uncalibrated-minute columns; Cancel writes nothing; a full disk while the
// grid is written is told, and the file written before stays as it was.
TEST_F(CsvFromRecordedData, TheButtonWritesTheShownGridsVisibleColumnsOrLeavesTheEarlierFile)
{
    storeUnit(10, QStringLiteral("Bar"), QStringLiteral("2.5"));
    addInterval(10, QDateTime(QDate(2026, 6, 1), QTime(23, 30), Qt::UTC), {{"SLeqLocal", 121.0}});
    open();
    QTemporaryDir dir;
    const QString path = dir.filePath("grid.csv");
    prompter_.fileAnswer(path);
    click("SSCommandCsv");
    const QByteArray bytes = readBytes(path);
    ASSERT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    const QStringList lines = QString::fromUtf8(bytes.mid(3)).split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_FALSE(lines[0].contains("E.N.A.")) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].contains("LeqT(emisión) dBA"));
    EXPECT_TRUE(lines[1].startsWith("01/06/2026;23:30;")) << lines[1].toStdString();
    EXPECT_TRUE(lines[1].contains(";UP;"));

    prompter_.fileAnswer(QString());
    ASSERT_TRUE(QFile::remove(path));
    click("SSCommandCsv");
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(prompter_.shown().isEmpty());

    const QByteArray earlier("last week's grid\r\n");
    ASSERT_TRUE(writeBytes(path, earlier));
    prompter_.fileAnswer(path);
    {
        FileSizeLimit limit(256);
        click("SSCommandCsv");
    }
    ASSERT_EQ(prompter_.shown().size(), 1);
    EXPECT_EQ(prompter_.shown().front().style, MessageStyle::Critical);
    EXPECT_TRUE(prompter_.shown().front().text.contains(path)) << prompter_.shown().front().text.toStdString();
    EXPECT_TRUE(prompter_.shown().front().text.endsWith(QString::fromLocal8Bit(std::strerror(EFBIG))))
        << "says why: " << prompter_.shown().front().text.toStdString();
    EXPECT_EQ(readBytes(path), earlier);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"grid.csv"});
}
