#include "core/catalogue_ids.h"
#include "core/own_words.h"
#include "evidence/journal.h"
#include "evidence/signing.h"
#include "i18n/gui/access_keys.h"
#include "fleet_rows.h"
#include "i18n/translator.h"
#include "programming/gui/window_fixture.h"
#include "records/gui/fleet_model.h"
#include "records/gui/fleet_view.h"
#include "records/gui/grid_column_widths.h"
#include "records/gui/journal_window.h"
#include "records/gui/range_picker.h"
#include "records/record_store.h"
#include "records_fixture.h"
#include "support/key_presses.h"
#include "support/memory_unit.h"
#include "support/result_checks.h"
#include "support/scripted_prompter.h"
#include "support/started_program.h"

#include <QApplication>
#include <QBrush>
#include <QComboBox>
#include <QFontMetrics>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSet>
#include <QSpinBox>
#include <QSqlQuery>
#include <QStackedWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace tvq52;
using namespace tvq52::test;

namespace {

using RecordedDataWindowTest = RecordsWindowFixture;

QDateTime at(int d, int m, int y, int h, int n)
{
    return QDateTime(QDate(y, m, d), QTime(h, n), Qt::UTC);
}

TEST(CellText, StoredValuesShowAsTheGridTranslatesThem)
{
    const QString uncalibrated = QStringLiteral("Sin calibrar");
    const struct {
        CellShow show;
        QVariant stored;
        const char* shown;
    } cases[] = {
        {CellShow::Level, 59.0, "UND"},
        {CellShow::LevelNoUnder, 59.0, "59.0"},
        {CellShow::Level, 121.0, "UP"},
        {CellShow::LevelNoUnder, 121.0, "UP"},
        {CellShow::Level, 0.0, "---"},
        {CellShow::LevelNoUnder, 0.0, "---"},
        {CellShow::Level, QStringLiteral("59,0"), "UND"},
        {CellShow::Level, QStringLiteral("59.0"), "UND"},
        {CellShow::Level, QStringLiteral("121,0"), "UP"},
        {CellShow::Level, 72.46, "72.5"},
        {CellShow::Level, 60.0, "60.0"},
        {CellShow::Level, QVariant(), ""},
        {CellShow::Limit, 255, "---"},
        {CellShow::Limit, 80, "80"},
        {CellShow::Uncalibrated, 255, "Sin calibrar"},
        {CellShow::Uncalibrated, 12, "12"},
        {CellShow::Date, QStringLiteral("2010-03-02"), "02/03/2010"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(cellText(c.show, c.stored, uncalibrated), QString::fromUtf8(c.shown))
            << int(c.show) << " " << c.stored.toString().toStdString();
    }
}

TEST_F(RecordedDataWindowTest, GridCellsShowTranslationsPicturesAndColours)
{
    storeUnit(10, QStringLiteral("Bar"), QStringLiteral("3.3"));
    addInterval(10, at(2, 3, 2010, 14, 20),
                {{"SLeqLocal", 59.0},
                 {"SLeqVecino", 59.0},
                 {"ByDNA", 255},
                 {"ByNivelLeqLocal", 255},
                 {"BoRS232", true},
                 {"TFechaMaxLeq1min", "02/03/2010"}});
    open();
    // The title names the unit shown.
    EXPECT_EQ(window_->windowTitle(), QStringLiteral("10 Bar - Datos registrados - TVQ-52"));
    ASSERT_EQ(intervals()->rowCount(), 1);
    EXPECT_EQ(cell(0, "DFechaInicio"), QStringLiteral("02/03/2010"));
    EXPECT_EQ(cell(0, "THoraInicio"), QStringLiteral("14:20"));
    EXPECT_EQ(cell(0, "SLeqLocal"), QStringLiteral("UND"));
    EXPECT_EQ(cell(0, "SLeqVecino"), QStringLiteral("59.0")) << "each column's own way of showing";
    const QModelIndex on = intervals()->index(0, intervals()->columnOf(QStringLiteral("BoRS232")));
    const QModelIndex off = intervals()->index(0, intervals()->columnOf(QStringLiteral("BoProgramacion")));
    EXPECT_EQ(on.data().toString(), QString());
    ASSERT_TRUE(on.data(Qt::DecorationRole).canConvert<QPixmap>());
    EXPECT_NE(on.data(Qt::DecorationRole).value<QPixmap>().toImage(),
              off.data(Qt::DecorationRole).value<QPixmap>().toImage());
    // Cell colour over heading colour.
    const int level = intervals()->columnOf(QStringLiteral("SLeqLocal"));
    EXPECT_EQ(intervals()->index(0, level).data(Qt::BackgroundRole).value<QBrush>().color(), QColor(220, 220, 255));
    EXPECT_EQ(intervals()->headerData(level, Qt::Horizontal, Qt::BackgroundRole).value<QBrush>().color(),
              QColor(150, 150, 255));
    EXPECT_TRUE(intervals()->headerData(level, Qt::Horizontal).toString().endsWith(QStringLiteral("\ndBA")));
}

TEST_F(RecordedDataWindowTest, HeaderClicksSortByTheColumnsKeysInAlternatingDirections)
{
    storeUnit(10);
    addInterval(10, at(1, 3, 2010, 10, 0), {{"SLeqLocal", 80.0}, {"TFechaMaxLeq1min", "05/01/2010"}});
    addInterval(10, at(1, 3, 2010, 9, 0), {{"SLeqLocal", 65.0}, {"TFechaMaxLeq1min", "20/12/2009"}});
    addInterval(10, at(28, 2, 2010, 23, 0), {{"SLeqLocal", 72.0}, {"TFechaMaxLeq1min", "01/02/2010"}});
    open();
    EXPECT_EQ(column("THoraInicio"), (QStringList{"10:00", "09:00", "23:00"})) << "newest first";

    // The end date's heading sorts by the start too.
    clickHeader("DFechaFinal");
    EXPECT_EQ(column("THoraInicio"), (QStringList{"23:00", "09:00", "10:00"}));
    clickHeader("DFechaInicio");
    EXPECT_EQ(column("THoraInicio"), (QStringList{"10:00", "09:00", "23:00"}));

    clickHeader("SLeqLocal");
    EXPECT_EQ(column("SLeqLocal"), (QStringList{"65.0", "72.0", "80.0"}));
    // The heading's arrow follows the order.
    QHeaderView* header = window_->view(RecordedDataWindow::Intervals)->horizontalHeader();
    EXPECT_TRUE(header->isSortIndicatorShown());
    EXPECT_EQ(header->sortIndicatorSection(), intervals()->columnOf(QStringLiteral("SLeqLocal")));
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
    clickHeader("SLeqLocal");
    EXPECT_EQ(column("SLeqLocal"), (QStringList{"80.0", "72.0", "65.0"}));
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
    clickHeader("SLeqLocal");
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
    // A day/month/year text sorts by its date, not by its characters.
    clickHeader("TFechaMaxLeq1min");
    EXPECT_EQ(column("TFechaMaxLeq1min"), (QStringList{"01/02/2010", "05/01/2010", "20/12/2009"}));

    // The grid stays scrolled where it was.
    QTableView* view = window_->view(RecordedDataWindow::Intervals);
    view->horizontalScrollBar()->setValue(12);
    ASSERT_EQ(view->horizontalScrollBar()->value(), 12);
    clickHeader("SL50");
    EXPECT_EQ(view->horizontalScrollBar()->value(), 12);
}

TEST_F(RecordedDataWindowTest, RowsAreReadAPageAtATimeAndFewPagesAreKept)
{
    storeUnit(10);
    const QDateTime first = at(1, 1, 2010, 0, 0);
    ASSERT_TRUE(store_->transaction());
    const int rows = RecordGridModel::kPageRows * (RecordGridModel::kCachedPages + 3);
    for (int i = 0; i < rows; ++i)
        addInterval(10, first.addSecs(120 * i), {{"SLeqLocal", 60.0 + (i % 500) / 10.0}});
    ASSERT_TRUE(store_->commit());
    open();
    ASSERT_EQ(intervals()->rowCount(), rows);
    EXPECT_LE(intervals()->cachedRows(), 2 * RecordGridModel::kPageRows) << "only what the view shows";
    EXPECT_EQ(cell(rows - 1, "DFechaInicio"), QStringLiteral("01/01/2010"));
    EXPECT_EQ(cell(rows - 1, "THoraInicio"), QStringLiteral("00:00"));
    for (int r = 0; r < rows; r += RecordGridModel::kPageRows / 2)
        EXPECT_EQ(cell(r, "THoraInicio"), first.addSecs(120 * (rows - 1 - r)).time().toString(QStringLiteral("HH:mm")))
            << r;
    EXPECT_LE(intervals()->cachedRows(), RecordGridModel::kCachedPages * RecordGridModel::kPageRows);
}

TEST_F(RecordedDataWindowTest, OpensOnTheRunsUnitAndBrowsesWithABeepAtEitherEnd)
{
    for (qint32 s : {5, 7, 9})
        storeUnit(s, QStringLiteral("Sala %1").arg(s));
    ctx_->unit.select(7, {});
    open();
    EXPECT_EQ(shownSerial(), QStringLiteral("7"));
    EXPECT_EQ(child<QLineEdit>(window_.get(), "TextLocal")->text(), QStringLiteral("Sala 7"));
    window_->close();

    ctx_->unit.select(0, {});
    QList<qint32> selected;
    QObject::connect(&ctx_->unit, &UnitSelection::changed, [&](qint32 serial) { selected << serial; });
    activate(window_.get());
    ASSERT_EQ(shownSerial(), QStringLiteral("5"));
    click("SSCommandAnterior");
    EXPECT_EQ(beeps_, 1);
    EXPECT_EQ(shownSerial(), QStringLiteral("5"));
    click("SSCommandSiguiente");
    click("SSCommandSiguiente");
    EXPECT_EQ(shownSerial(), QStringLiteral("9"));
    EXPECT_EQ(ctx_->unit.current(), 9);
    EXPECT_EQ(selected, (QList<qint32>{5, 7, 9})) << "each unit shown is told once";
    click("SSCommandSiguiente");
    EXPECT_EQ(beeps_, 2);
    EXPECT_EQ(shownSerial(), QStringLiteral("9"));
    EXPECT_TRUE(prompter_.shown().isEmpty());
}

TEST_F(RecordedDataWindowTest, TheShownUnitIsLeftForTheOtherWindows)
{
    ProgrammingRecord r = saveUnit(31, QStringLiteral("Sala"));
    r.version = QStringLiteral("2.5");
    r.phone = QStringLiteral("934445566");
    r.date = QDate(2010, 3, 2);
    r.sessions[0] = {QStringLiteral("20:00"), QStringLiteral("02:00")}; // Monday
    r.sessions[6] = {QStringLiteral("18:00"), QStringLiteral("23:00")}; // Sunday
    ProgIntervals intervals = unusedIntervals();
    intervals[4] = {QStringLiteral("24/12/10"), QStringLiteral("20:00"), QStringLiteral("26/12/10"),
                    QStringLiteral("08:00")};
    ASSERT_TRUE(saveProgramming(*store_, r, intervals));
    open();
    const auto& u = window_->shownUnit();
    ASSERT_TRUE(u.has_value());
    EXPECT_EQ(u->recordDate, QStringLiteral("02/03/10"));
    EXPECT_EQ(u->sessionHours[0], QStringLiteral("18:00"));
    EXPECT_EQ(u->sessionHours[7], QStringLiteral("23:00"));
    EXPECT_EQ(u->sessionHours[1], QStringLiteral("20:00"));
    EXPECT_EQ(u->sessionHours[8], QStringLiteral("02:00"));
    EXPECT_EQ(u->intervals[4], intervals[4]);
    EXPECT_EQ(ctx_->unit.current(), u->serial);
    EXPECT_EQ(ctx_->unit.firmware(), QStringLiteral("2.5"));
    EXPECT_EQ(u->phone, QStringLiteral("934445566"));
    EXPECT_EQ(child<QLineEdit>(window_.get(), "TextFecha")->text(), QStringLiteral("02/03/10"));
}

TEST_F(RecordedDataWindowTest, ColumnsOfTheNewerFirmwareShowFromVersion30)
{
    storeUnit(1, QStringLiteral("a"), QStringLiteral("2.9"));
    storeUnit(2, QStringLiteral("b"), QStringLiteral("3.0"));
    open();
    QTableView* view = window_->view(RecordedDataWindow::Intervals);
    for (const char* field : {"ByLineaInsuficiente", "ByDNA", "ByENA"}) {
        EXPECT_TRUE(view->isColumnHidden(intervals()->columnOf(QString::fromLatin1(field)))) << field;
    }
    EXPECT_FALSE(view->isColumnHidden(intervals()->columnOf(QStringLiteral("IE3"))));
    click("SSCommandSiguiente");
    for (const char* field : {"ByLineaInsuficiente", "ByDNA", "ByENA"}) {
        EXPECT_FALSE(view->isColumnHidden(intervals()->columnOf(QString::fromLatin1(field)))) << field;
    }
}

TEST_F(RecordedDataWindowTest, ImpossibleRecordDatesAreRefusedWhenTheFieldIsLeft)
{
    storeUnit(1);
    open();
    QLineEdit* date = child<QLineEdit>(window_.get(), "TextFecha");
    for (const char* text : {"31/13/10", "00/05/10", "31/02/10", "hoy"}) {
        prompter_.clear();
        typeInto(date, QString::fromLatin1(text));
        focusTo(child<QLineEdit>(window_.get(), "TextLocal"));
        settle();
        EXPECT_EQ(prompter_.catalogueIds(), QList<int>{18}) << text;
        EXPECT_TRUE(date->hasFocus()) << text;
    }
    prompter_.clear();
    typeInto(date, QStringLiteral("31/12/10"));
    focusTo(child<QLineEdit>(window_.get(), "TextLocal"));
    settle();
    EXPECT_TRUE(prompter_.shown().isEmpty());
}

TEST_F(RecordedDataWindowTest, SearchLooksInTheLastIdentificationFieldFocused)
{
    storeUnit(1, QStringLiteral("a"), QStringLiteral("2.5"));
    storeUnit(2, QStringLiteral("b"), QStringLiteral("4.3"));
    storeUnit(3, QStringLiteral("c"), QStringLiteral("3.3"));
    open();
    EXPECT_EQ(window_->currentSearchField(), QStringLiteral("TextNumeroSerie"));
    focusTo(child<QLineEdit>(window_.get(), "TextVersion"));
    prompter_.inputAnswer(QStringLiteral("3"));
    click("SSCommandBuscar");
    EXPECT_EQ(prompter_.inputPrompts(), QStringList{QStringLiteral("Buscar en el campo Versión:")});
    EXPECT_EQ(shownSerial(), QStringLiteral("2"));
    // No match: no message, the unit stays.
    prompter_.inputAnswer(QStringLiteral("9"));
    click("SSCommandBuscar");
    EXPECT_EQ(shownSerial(), QStringLiteral("2"));
    EXPECT_TRUE(prompter_.shown().isEmpty());
}

// Without intervals the graph and the report say there is nothing. With
// them they wait for the windows they open: while the graph window is being
// opened a panel says so, and it is gone once the graph is up.
TEST_F(RecordedDataWindowTest, TheGraphSaysThereIsNothingOrShowsABusyPanelUntilItIsUp)
{
    storeUnit(1);
    storeUnit(2);
    addInterval(2, at(2, 3, 2010, 14, 20));
    open();
    click("SSCommandGrafica");
    click("SSCommandImprimir");
    EXPECT_EQ(prompter_.catalogueIds(), (QList<int>{59, 59}));
    EXPECT_EQ(prompter_.shown().value(0).style, MessageStyle::Critical);
    click("SSCommandSiguiente");
    EXPECT_FALSE(child<QPushButton>(window_.get(), "SSCommandGrafica")->isEnabled());
    QWidget* panel = child<QWidget>(window_.get(), "SSPanel1");
    int graphs = 0;
    bool shownWhileOpening = false;
    QString said;
    window_->setGraphOpener([&] {
        ++graphs;
        shownWhileOpening = panel->isVisible();
        said = child<QLabel>(window_.get(), "LbProgreso")->text();
    });
    click("SSCommandGrafica");
    EXPECT_EQ(graphs, 1);
    EXPECT_EQ(prompter_.shown().size(), 2);
    EXPECT_TRUE(shownWhileOpening);
    EXPECT_EQ(said, QStringLiteral("Abriendo la gráfica..."));
    settle();
    EXPECT_FALSE(panel->isVisible());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(RecordedDataWindowTest, ToggleButtonsGivesEachCommandBackItsOwnState)
{
    storeUnit(1);
    addInterval(1, at(2, 3, 2010, 14, 20));
    open();
    auto* graph = child<QPushButton>(window_.get(), "SSCommandGrafica");
    auto* next = child<QPushButton>(window_.get(), "SSCommandSiguiente");
    ASSERT_FALSE(graph->isEnabled());
    window_->ToggleButtons();
    EXPECT_FALSE(next->isEnabled());
    EXPECT_FALSE(child<QPushButton>(window_.get(), "SSCommandRecibir")->isEnabled());
    window_->ToggleButtons();
    EXPECT_TRUE(next->isEnabled());
    EXPECT_FALSE(graph->isEnabled());
}

// The simulated unit 4711 (firmware 4.0) on the window's link with `days` of
// history up to 15/03/2024 10:00, downloaded from `from` on.
class RecordedDataDownload : public RecordsWindowFixture {
protected:
    void openOnUnit(const char* days, const QDateTime& from)
    {
        const QString refused =
            unit_.connect({"--serial", "4711", "--firmware", "4.0", "--days", QString::fromLatin1(days)});
        ASSERT_TRUE(refused.isEmpty()) << refused.toStdString();
        open();
        window_->setLink(&unit_.line, &unit_.clock);
        window_->setRangeRunner(
            [from](const DownloadRange&) { return DownloadRange::from(from, at(15, 3, 2024, 10, 0)); });
    }
    MemoryUnit unit_;
};

TEST_F(RecordedDataDownload, ThePickerProposesFromTheNewestIntervalOrSixtyDaysBack)
{
    storeUnit(1);
    storeUnit(2);
    addInterval(2, at(1, 3, 2010, 9, 0));
    addInterval(2, at(2, 3, 2010, 14, 20));
    open();
    const QDateTime now = at(15, 3, 2010, 10, 0);
    const RecordStore records(*ctx_->db);
    QStringList seen;
    auto lookAndClose = [&] {
        whenModal([&](QWidget* picker) {
            EXPECT_EQ(picker->objectName(), QStringLiteral("Form8"));
            seen << child<QLineEdit>(picker, "MaskFechaIni")->text() << child<QLineEdit>(picker, "MaskFechaFi")->text();
            picker->close();
        });
    };
    lookAndClose();
    EXPECT_FALSE(window_->chooseRange(proposedRange(records, 1, now).value()).has_value());
    lookAndClose();
    EXPECT_FALSE(window_->chooseRange(proposedRange(records, 2, now).value()).has_value());
    EXPECT_EQ(seen, (QStringList{"14/01/10 10:00", "15/03/10 10:00", "02/03/10 14:20", "15/03/10 10:00"}));
}

// The simulated unit in this process over an in-memory line, on virtual time.
TEST_F(RecordedDataDownload, ADownloadFillsTheGridsAndShowsWhatItReceived)
{
    storeUnit(4711, QStringLiteral("Sala"), QStringLiteral("4.0"));
    openOnUnit("1", at(14, 3, 2024, 0, 0));
    ASSERT_EQ(intervals()->rowCount(), 0);
    click("SSCommandRecibir");
    settle();

    EXPECT_TRUE(prompter_.catalogueIds().contains(61)) << prompter_.shown().value(0).text.toStdString();
    const qint64 stored = test::take(store_->count(QStringLiteral("Intervalos"), row({{"LNumeroSerie", 4711}})));
    ASSERT_GT(stored, 0);
    EXPECT_EQ(intervals()->rowCount(), stored);
    EXPECT_EQ(window_->model(RecordedDataWindow::Sessions)->rowCount(),
              test::take(store_->count(QStringLiteral("Sesiones"), row({{"LNumeroSerie", 4711}}))));
    // The progress counted every frame and named what was stored.
    EXPECT_GT(child<QLabel>(window_.get(), "Frame17")->text().toInt(), stored);
    EXPECT_TRUE(child<QLabel>(window_.get(), "LbProgreso")->text().contains(QStringLiteral("Registros Leq: ")));
    EXPECT_TRUE(child<QPushButton>(window_.get(), "SSCommandRecibir")->isVisible());
    EXPECT_FALSE(child<QPushButton>(window_.get(), "SSCommandStop")->isVisible());
    EXPECT_TRUE(child<QPushButton>(window_.get(), "SSCommandSiguiente")->isEnabled());
}

// A download stopped by the user says so in the panel, beside the counts it
// reached, instead of the window falling silent.
TEST_F(RecordedDataDownload, AStoppedDownloadSaysSoUntilAnotherUnitIsShown)
{
    storeUnit(4711, QStringLiteral("Sala"), QStringLiteral("4.0"));
    storeUnit(4712, QStringLiteral("Otra"), QStringLiteral("4.0"));
    openOnUnit("3", at(12, 3, 2024, 0, 0));
    ASSERT_EQ(window_->shownSerial(), 4711);
    // Stop as soon as the download first lets the window's events through.
    QTimer::singleShot(0, window_.get(), [this] { click("SSCommandStop"); });
    click("SSCommandRecibir");
    settle();

    QWidget* panel = child<QWidget>(window_.get(), "SSPanel1");
    EXPECT_TRUE(panel->isVisible());
    EXPECT_TRUE(child<QLabel>(window_.get(), "LbProgreso")
                    ->text()
                    .startsWith(QStringLiteral("Descarga parada: lo recibido hasta ahora está guardado.")))
        << child<QLabel>(window_.get(), "LbProgreso")->text().toStdString();
    EXPECT_TRUE(child<QPushButton>(window_.get(), "SSCommandRecibir")->isVisible());
    click("SSCommandSiguiente");
    EXPECT_EQ(window_->shownSerial(), 4712);
    EXPECT_FALSE(panel->isVisible());

    // Stopped while an estimate was shown: the counts stay, the estimate goes.
    window_->downloadStarted();
    DownloadProgress progress;
    progress.counts[std::size_t(RecordKind::Intervals)].received = 96;
    progress.current = RecordKind::Intervals;
    progress.recordsPerSecond = 40;
    progress.msLeft = 163000;
    window_->downloadProgress(progress);
    EXPECT_TRUE(child<QLabel>(window_.get(), "LbProgreso")->text().contains(QStringLiteral("163")));
    click("SSCommandStop");
    window_->downloadFinished();
    const QString stopped = child<QLabel>(window_.get(), "LbProgreso")->text();
    EXPECT_TRUE(stopped.contains(QStringLiteral("Registros Leq: 96 recibidos"))) << stopped.toStdString();
    EXPECT_FALSE(stopped.contains(QStringLiteral("163"))) << stopped.toStdString();
}

class RangePickerTest : public ::testing::Test {
protected:
    void open(const QDateTime& start, const QDateTime& end)
    {
        picker_ = std::make_unique<RangePicker>(translator_, prompter_, start, end);
        picker_->show();
        settle();
    }
    QLineEdit* field(const char* name) { return child<QLineEdit>(picker_.get(), name); }
    void ok() { child<QPushButton>(picker_.get(), "CommandVolver")->click(); }
    MonthCalendar* openStartCalendar()
    {
        child<QToolButton>(picker_.get(), "CalendarioIni")->click();
        return picker_->findChild<MonthCalendar*>();
    }
    // The 42 day cells of the Sunday-first grid.
    static QList<QToolButton*> dayCells(MonthCalendar* calendar)
    {
        QList<QToolButton*> days;
        for (QToolButton* b : calendar->findChildren<QToolButton*>())
            if (b->objectName().isEmpty())
                days << b;
        return days;
    }

    Translator translator_;
    ScriptedPrompter prompter_;
    std::unique_ptr<RangePicker> picker_;
};

TEST_F(RangePickerTest, OkKeepsTheRangeAsDayMonthYearHourMinuteBytes)
{
    open(at(2, 3, 2010, 14, 20), at(9, 3, 2010, 8, 5));
    EXPECT_EQ(field("MaskFechaIni")->text(), QStringLiteral("02/03/10 14:20"));
    EXPECT_EQ(field("MaskFechaFi")->text(), QStringLiteral("09/03/10 08:05"));
    field("MaskFechaIni")->setText(QStringLiteral("31/12/09 23:00"));
    field("MaskFechaFi")->setText(QStringLiteral("01/01/10 01:00"));
    ok();
    ASSERT_TRUE(picker_->range().has_value());
    const std::array<std::uint8_t, 10> expected{31, 12, 9, 23, 0, 1, 1, 10, 1, 0};
    EXPECT_EQ(picker_->range()->bytes, expected);
    EXPECT_EQ(picker_->result(), QDialog::Accepted);
    EXPECT_TRUE(prompter_.shown().isEmpty());
}

TEST_F(RangePickerTest, AnEndNotAfterTheStartIsRefusedAndTheWindowStays)
{
    open(at(2, 3, 2010, 14, 20), at(2, 3, 2010, 14, 20));
    ok();
    EXPECT_EQ(prompter_.catalogueIds(), QList<int>{24});
    EXPECT_EQ(prompter_.shown().value(0).style, MessageStyle::Plain);
    EXPECT_TRUE(picker_->isVisible());
    EXPECT_FALSE(picker_->range().has_value());

    prompter_.clear();
    field("MaskFechaFi")->setText(QStringLiteral("31/02/10 10:00"));
    ok();
    EXPECT_EQ(prompter_.catalogueIds(), QList<int>{18});
    EXPECT_TRUE(picker_->isVisible());
}

TEST_F(RangePickerTest, CancelAndTheCloseBoxLeaveNoRange)
{
    open(at(1, 1, 2010, 0, 0), at(2, 1, 2010, 0, 0));
    picker_->close();
    EXPECT_EQ(picker_->result(), QDialog::Rejected);
    EXPECT_FALSE(picker_->range().has_value());
    open(at(1, 1, 2010, 0, 0), at(2, 1, 2010, 0, 0));
    child<QPushButton>(picker_.get(), "SSCommandCancelar")->click();
    EXPECT_FALSE(picker_->isVisible());
    EXPECT_FALSE(picker_->range().has_value());
}

TEST_F(RangePickerTest, TheCalendarNamesComeFromTheCatalogueAndAPickKeepsTheTime)
{
    open(at(31, 12, 2009, 23, 0), at(1, 1, 2010, 1, 0));
    auto* calendar = openStartCalendar();
    ASSERT_NE(calendar, nullptr);
    EXPECT_TRUE(calendar->isVisible());
    EXPECT_EQ(calendar->weekdayHeadings(), (QStringList{"Dom", "Lun", "Mar", "Mie", "Jue", "Vie", "Sab"}));
    EXPECT_EQ(calendar->monthTitle(), QStringLiteral("Diciembre 2009"));
    child<QToolButton>(calendar, "CalendarioSiguiente")->click();
    EXPECT_EQ(calendar->monthTitle(), QStringLiteral("Enero 2010"));
    // January 2010 starts on a Friday: the sixth cell of the Sunday-first grid.
    const QList<QToolButton*> days = dayCells(calendar);
    ASSERT_EQ(days.size(), 42);
    EXPECT_FALSE(days[4]->isEnabled());
    EXPECT_EQ(days[5]->text(), QStringLiteral("1"));
    days[5 + 14]->click();
    EXPECT_EQ(field("MaskFechaIni")->text(), QStringLiteral("15/01/10 23:00"));
    EXPECT_FALSE(calendar->isVisible());
}

// From 2026 back to 2009 is seventeen clicks of the year step, or as many
// Shift+Page Up; Page Down steps a month.
TEST_F(RangePickerTest, TheCalendarStepsAYearAtATime)
{
    open(at(10, 3, 2026, 8, 0), at(20, 3, 2026, 9, 0));
    auto* calendar = openStartCalendar();
    ASSERT_NE(calendar, nullptr);
    EXPECT_EQ(calendar->monthTitle(), QStringLiteral("Marzo 2026"));
    auto* back = child<QToolButton>(calendar, "CalendarioAnteriorAno");
    EXPECT_FALSE(back->toolTip().isEmpty());
    for (int i = 0; i < 10; ++i)
        back->click();
    EXPECT_EQ(calendar->monthTitle(), QStringLiteral("Marzo 2016"));
    for (int i = 0; i < 7; ++i)
        test::keyInto(calendar, Qt::Key_PageUp, Qt::ShiftModifier);
    EXPECT_EQ(calendar->monthTitle(), QStringLiteral("Marzo 2009"));
    test::keyInto(calendar, Qt::Key_PageDown);
    EXPECT_EQ(calendar->monthTitle(), QStringLiteral("Abril 2009"));
    child<QToolButton>(calendar, "CalendarioSiguienteAno")->click();
    EXPECT_EQ(calendar->monthTitle(), QStringLiteral("Abril 2010"));
    test::keyInto(calendar, Qt::Key_PageUp);
    EXPECT_EQ(calendar->monthTitle(), QStringLiteral("Marzo 2010"));
}

// The request carries two-digit years, 1950 to 2049: a date the calendar
// takes beyond them is refused with a message, not read a century off.
TEST_F(RangePickerTest, AYearTheRequestCannotCarryIsRefusedAndTheWindowStays)
{
    open(at(15, 12, 2049, 10, 0), at(31, 12, 2049, 23, 0));
    auto* calendar = openStartCalendar();
    ASSERT_NE(calendar, nullptr);
    child<QToolButton>(calendar, "CalendarioSiguiente")->click();
    EXPECT_EQ(calendar->monthTitle(), QStringLiteral("Enero 2050"));
    const QList<QToolButton*> days = dayCells(calendar);
    ASSERT_EQ(days.size(), 42);
    // January 2050 starts on a Saturday: the seventh cell.
    ASSERT_EQ(days[6]->text(), QStringLiteral("1"));
    days[6 + 14]->click();
    EXPECT_EQ(field("MaskFechaIni")->text(), QStringLiteral("15/01/50 10:00"));
    ok();
    ASSERT_EQ(prompter_.shown().size(), 1);
    EXPECT_EQ(
        prompter_.shown()[0].text,
        QStringLiteral("La fecha 15/01/2050 10:00 no se puede pedir al TVQ-52: solo admite años de 1950 a 2049."));
    EXPECT_EQ(prompter_.shown()[0].style, MessageStyle::Critical);
    EXPECT_TRUE(picker_->isVisible());
    EXPECT_FALSE(picker_->range().has_value());

    // A year typed in the field is read by the two-digit rule.
    prompter_.clear();
    field("MaskFechaIni")->setText(QStringLiteral("15/01/49 10:00"));
    ok();
    EXPECT_TRUE(prompter_.shown().isEmpty());
    ASSERT_TRUE(picker_->range().has_value());
    EXPECT_EQ(picker_->range()->start(), at(15, 1, 2049, 10, 0));
}

QDateTime at(int d, int h, int m)
{
    return QDateTime(QDate(2026, 3, d), QTime(h, m), Qt::UTC);
}

const GridColumn& columnNamed(RecordGrid grid, const char* field)
{
    for (const GridColumn& c : gridColumns(grid))
        if (c.field == QLatin1String(field))
            return c;
    ADD_FAILURE() << field;
    return gridColumns(grid).front();
}

// Every level a cell can show is no longer than the widest text its width is
// worked out from, digit for digit (the window test below fills the rest).
TEST(GridColumnWidths, NoLevelIsWiderThanTheWidestText)
{
    const QString uncalibrated = QStringLiteral("Sin calibrar");
    const GridColumn& level = columnNamed(RecordGrid::Intervals, "SMaxFast");
    for (int tenths = 0; tenths <= 1210; ++tenths) {
        const QString shown = cellText(level.show, tenths / 10.0, uncalibrated);
        EXPECT_LE(shown.size(), widestCellTexts(level, uncalibrated).value(0).size()) << shown.toStdString();
    }
}

class GridWidthsWindow : public RecordsWindowFixture {
protected:
    // Whatever the newest row, every cell of every row and every line of
    // every heading fits its column.
    void expectEverythingFits(RecordedDataWindow::Grid grid, const char* language)
    {
        QTableView* view = window_->view(grid);
        RecordGridItems* model = window_->model(grid);
        const QFontMetrics cell(view->font());
        QFont bold = view->horizontalHeader()->font();
        bold.setBold(true);
        const QFontMetrics heading(bold);
        for (int c = 0; c < model->columnCount(); ++c) {
            if (view->isColumnHidden(c))
                continue;
            const int width = view->columnWidth(c);
            EXPECT_EQ(width, gridColumnWidth(*view, *model, c));
            for (const QString& line : model->headerData(c, Qt::Horizontal).toString().split('\n'))
                EXPECT_LT(heading.horizontalAdvance(line.trimmed()), width)
                    << language << ": heading " << line.toStdString();
            for (int r = 0; r < model->rowCount(); ++r) {
                const QString text = model->index(r, c).data().toString();
                EXPECT_LT(cell.horizontalAdvance(text) + 4, width)
                    << language << ": " << text.toStdString() << " in column " << c;
            }
        }
    }
};

TEST_F(GridWidthsWindow, ColumnsHoldTheirWidestValueAndHeadingInEveryLanguage)
{
    storeUnit(9, QStringLiteral("Empty"), QStringLiteral("3.3"));
    storeUnit(10, QStringLiteral("Bar"), QStringLiteral("3.3"));
    // The oldest rows hold the widest values; the newest is narrow.
    addInterval(10, at(1, 20, 0),
                {{"SLeqLocal", 118.7},
                 {"SMaxFast", 120.9},
                 {"SL1", 119.8},
                 {"SL90", 100.4},
                 {"ByENA", 255},
                 {"ByDNA", 255},
                 {"IPasadasLocal", 32000}});
    addInterval(10, at(1, 21, 0), {{"SLeqLocal", 105.3}, {"SLeqVecino", 104.8}, {"ByLineaInsuficiente", 255}});
    addInterval(10, at(2, 9, 0), {{"SLeqLocal", 61.0}});
    ASSERT_TRUE(store_->insert(QStringLiteral("Sesiones"), row({{"LNumeroSerie", 10},
                                                                 {"DFechaInicio", QDate(2026, 3, 1)},
                                                                 {"THoraInicio", "20:00"},
                                                                 {"SLeq", 111.1},
                                                                 {"LPasadasLocal", 1234567},
                                                                 {"ITiempoAtenuacion", 32000}})));
    for (const char* language : {"", "Català", "English", "Deutsch", "Français", "Italiano", "Português"}) {
        if (*language) {
            ctx_->translator.foreignColumnName = QString::fromUtf8(language);
            ASSERT_TRUE(ctx_->translator.openLanguageDatabase(QStringLiteral(TVQ52_ASSET_DIR "/Language.db"), true,
                                                        Translator::SqlDb));
        }
        ctx_->unit.select(10, {});
        open();
        ASSERT_EQ(shownSerial(), QStringLiteral("10")) << language;
        ASSERT_EQ(intervals()->rowCount(), 3);
        expectEverythingFits(RecordedDataWindow::Intervals, language);
        expectEverythingFits(RecordedDataWindow::Sessions, language);
        // The empty grid's headings are whole too.
        click("SSCommandAnterior");
        ASSERT_EQ(shownSerial(), QStringLiteral("9")) << language;
        ASSERT_EQ(intervals()->rowCount(), 0);
        expectEverythingFits(RecordedDataWindow::Intervals, language);
        expectEverythingFits(RecordedDataWindow::Sessions, language);
        window_.reset();
    }
}

using JournalWindowTest = WindowFixture;

QStringList columnTexts(QTableWidget* table, int column)
{
    QStringList texts;
    for (int r = 0; r < table->rowCount(); ++r)
        texts << table->item(r, column)->text();
    return texts;
}

TEST_F(JournalWindowTest, ListsTheShownUnitsEntriesNewestFirstOrEveryUnitsWithTheChainHead)
{
    Journal journal(*ctx_->db);
    ASSERT_TRUE(journal.append(JournalAction::Download, 7, QStringLiteral("cable"), QStringLiteral("completed"), {}));
    ASSERT_TRUE(journal.append(JournalAction::ProgramTransmit, 8, QStringLiteral("modem"), QStringLiteral("failed"),
                               QStringLiteral("Error en la transmisión de datos")));
    ASSERT_TRUE(journal.append(JournalAction::Download, 7, QStringLiteral("modem"), QStringLiteral("stopped"), {}));

    JournalWindow window(ctx_->translator, prompter_, *ctx_->db, 7);
    window.show();
    QTableWidget* table = window.table();
    EXPECT_EQ(columnTexts(table, 2), (QStringList{"7", "7"}));
    EXPECT_EQ(columnTexts(table, 4), (QStringList{"Parada", "Completada"})) << "newest first";
    EXPECT_EQ(columnTexts(table, 3), (QStringList{"Módem", "Cable"}));
    EXPECT_EQ(child<QLabel>(&window, "LbCabeza")->text(), QString::fromLatin1(journal.head().value()));
    EXPECT_FALSE(journal.head().value().isEmpty());

    // The status line counts what the filter shows.
    QLabel* shown = child<QLabel>(&window, "LbEntradasMostradas");
    EXPECT_EQ(shown->text(), QStringLiteral("Entradas mostradas: 2"));
    EXPECT_TRUE(table->isColumnHidden(7)) << "a file has no logins to name";

    child<QRadioButton>(&window, "OptionTodos")->setChecked(true);
    EXPECT_EQ(columnTexts(table, 2), (QStringList{"7", "8", "7"}));
    EXPECT_EQ(table->item(1, 1)->text(), QStringLiteral("Transmisión de programación"));
    EXPECT_EQ(table->item(1, 5)->text(), QStringLiteral("Error en la transmisión de datos"));
    EXPECT_EQ(shown->text(), QStringLiteral("Entradas mostradas: 3"));

    QLineEdit* serial = child<QLineEdit>(&window, "TextNumeroSerie");
    serial->setFocus();
    serial->selectAll();
    test::keyInto(&window, Qt::Key_8, Qt::NoModifier, QStringLiteral("8"));
    EXPECT_EQ(columnTexts(table, 2), QStringList{"8"});
    EXPECT_EQ(shown->text(), QStringLiteral("Entradas mostradas: 1"));

    // A journal that cannot be read is told once; the list is not emptied as if it had no entries.
    ASSERT_TRUE(QSqlQuery(ctx_->db->connection()).exec(QStringLiteral("DROP TABLE \"Diario\"")));
    window.refresh();
    EXPECT_EQ(prompter_.shown().size(), 1);
    EXPECT_EQ(columnTexts(table, 2), QStringList{"8"});
}

// A download's counts in the user's words, leaving out kinds with none; a
// long message wraps in its column instead of pushing them out of the
// window, at the window's usual size and when it is made narrower.
TEST_F(JournalWindowTest, ADownloadsCountsShowInTheUsersWordsBesideALongMessage)
{
    Journal journal(*ctx_->db);
    const Result<qint64> entry = journal.open(JournalAction::Download, 7, QStringLiteral("modem"));
    ASSERT_TRUE(entry);
    ASSERT_TRUE(journal.seal(*entry, QStringLiteral("failed"),
                             QStringLiteral("No se puede escribir en la base de datos /home/usuario/.local/share/tvq52/"
                                            "tvq52/tvq52.db (disco lleno). Lo recibido hasta ahora está guardado y la "
                                            "unidad conserva el resto."),
                             QStringLiteral("totals 0 1 0\nerasures 0 0 0\nintervals 960 4 2\nsessions 0 0 0")));
    JournalWindow window(ctx_->translator, prompter_, *ctx_->db, 7);
    for (const int width : {1000, 1100}) {
        window.resize(width, 480);
        window.show();
        settle();
        QTableWidget* table = window.table();
        const int counts = 6;
        const int right = table->columnViewportPosition(counts) + table->columnWidth(counts);
        EXPECT_LE(right, table->viewport()->width()) << width;
        const QString text = table->item(0, counts)->text();
        // A count of 0 is left out.
        EXPECT_EQ(text, QStringLiteral("Totales: 1 reescritos\n"
                                       "Registros Leq: 960 nuevos, 4 reescritos, 2 rechazados"));
        int widest = 0;
        for (const QString& line : text.split(QLatin1Char('\n')))
            widest = std::max(widest, table->fontMetrics().horizontalAdvance(line));
        EXPECT_GE(table->columnWidth(counts), widest) << width;
        EXPECT_FALSE(table->horizontalScrollBar()->isVisible()) << width;
        EXPECT_EQ(table->item(0, 5)->toolTip(), table->item(0, 5)->text());
    }
}

// A message kept with its catalogue text reads in the window's language,
// whatever the language it was written in; one without reads as stored.
TEST_F(JournalWindowTest, AnEntrysMessageIsShownInTheWindowsLanguage)
{
    Journal journal(*ctx_->db);
    const Result<qint64> entry = journal.open(JournalAction::Download, 7, QStringLiteral("cable"));
    ASSERT_TRUE(entry);
    const QString spanish = ctx_->translator.text(msg::TransferDone);
    journal.setMessageSource(*entry, msg::TransferDone, {});
    ASSERT_TRUE(journal.seal(*entry, QStringLiteral("completed"), spanish));
    ASSERT_TRUE(journal.append(JournalAction::Download, 7, QStringLiteral("cable"), QStringLiteral("failed"),
                               QStringLiteral("Texto sin catálogo")));
    ctx_->translator.foreignColumnName = QStringLiteral("Deutsch");
    ASSERT_TRUE(
        ctx_->translator.openLanguageDatabase(QStringLiteral(TVQ52_ASSET_DIR "/Language.db"), true, Translator::SqlDb));
    const QString german = ctx_->translator.text(msg::TransferDone);
    ASSERT_NE(german, spanish);

    JournalWindow window(ctx_->translator, prompter_, *ctx_->db, 7);
    EXPECT_EQ(columnTexts(window.table(), 5), (QStringList{QStringLiteral("Texto sin catálogo"), german}));
    EXPECT_TRUE(journal.verify().findings.isEmpty());
}

// An entry from before the key reads unsigned; one signed after names its
// signer, whose fingerprint the tooltip gives.
TEST_F(JournalWindowTest, NamesEachEntrysSigner)
{
    Journal journal(*ctx_->db);
    ASSERT_TRUE(journal.append(JournalAction::Download, 7, QStringLiteral("cable"), QStringLiteral("completed"), {}));
    QTemporaryDir keys;
    const CertificateInfo own = test::take(KeyStore(keys.path()).create(QStringLiteral("Oficina Sur")));
    OfficeSigning::configure({keys.path(), {}, {}});
    OfficeSigning::reset();
    ASSERT_TRUE(journal.append(JournalAction::Download, 7, QStringLiteral("cable"), QStringLiteral("completed"), {}));

    JournalWindow window(ctx_->translator, prompter_, *ctx_->db, 7);
    QTableWidget* table = window.table();
    const int signer = table->columnCount() - 1;
    EXPECT_EQ(table->item(0, signer)->text(), QStringLiteral("Oficina Sur")) << "newest first";
    EXPECT_TRUE(table->item(0, signer)->toolTip().contains(QString::fromLatin1(own.fingerprint)));
    EXPECT_EQ(table->item(1, signer)->text(), QStringLiteral("Sin firma"));
    OfficeSigning::configure({});
    OfficeSigning::reset();
}

// A double click as the mouse makes it: pressed and released, then again.
void doubleClick(QWidget* widget, const QPoint& at)
{
    const QPointF local(at);
    const QPointF global(widget->mapToGlobal(at));
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                                    QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, local, global, Qt::LeftButton, held, Qt::NoModifier);
        QApplication::sendEvent(widget, &event);
    }
}

// A view over hand-made rows that notes what it was asked to open.
class FleetViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        view_ = std::make_unique<FleetView>(translator_, [this](const FleetOptions& options) -> Result<std::vector<FleetUnit>> {
            ++loads_;
            lastStaleDays_ = options.staleDays;
            if (failure_)
                return *failure_;
            return rows_;
        });
        const auto note = [this](const char* what) {
            return [this, what](qint32 serial) { opened_ += QStringLiteral("%1 %2").arg(QString::fromLatin1(what)).arg(serial); };
        };
        view_->setOpeners({note("data"), note("programming"), note("graph"), note("reports"), note("download")});
        view_->resize(1000, 500);
    }

    void showView()
    {
        view_->show();
        settle();
    }

    QLabel* hint() const { return view_->findChild<QLabel*>(QStringLiteral("LbSinAparatos")); }
    bool tableShown() const { return view_->findChild<QStackedWidget*>()->currentWidget() == view_->table(); }
    QString count() const { return view_->findChild<QLabel*>(QStringLiteral("LbCuentaAparatos"))->text(); }

    Translator translator_;
    std::vector<FleetUnit> rows_ = smallOffice();
    std::optional<Error> failure_;
    int loads_ = 0;
    int lastStaleDays_ = 0;
    QStringList opened_;
    std::unique_ptr<FleetView> view_;
};

TEST_F(FleetViewTest, LoadsOnFirstShowAndCountsUnitsAndThoseNeedingAttention)
{
    EXPECT_EQ(loads_, 0) << "nothing is read before the view is shown";
    showView();
    EXPECT_EQ(loads_, 1);
    EXPECT_EQ(lastStaleDays_, 30);
    EXPECT_TRUE(tableShown());
    EXPECT_EQ(view_->table()->model()->rowCount(), 6);
    EXPECT_EQ(count(), QStringLiteral("6 aparatos, 4 necesitan atención"));
    // The rows' own order stands, and the header says what it is sorted by.
    EXPECT_EQ(view_->serialOnRow(0), 5005);
    EXPECT_EQ(view_->serialOnRow(5), 6006);
    EXPECT_TRUE(view_->table()->horizontalHeader()->isSortIndicatorShown());
    EXPECT_EQ(view_->table()->horizontalHeader()->sortIndicatorSection(), FleetModel::Reasons);

    rows_ = {fleetUnit(1001, QStringLiteral("Café Central"), 3, {FleetReason::Stale})};
    view_->findChild<QToolButton*>(QStringLiteral("CommandActualizarAparatos"))->click();
    EXPECT_EQ(loads_, 2);
    EXPECT_EQ(count(), QStringLiteral("1 aparato, 1 necesita atención"));
}

TEST_F(FleetViewTest, AnEmptyOfficeAFilterWithoutMatchesAndAFailedLoadEachSayWhy)
{
    rows_.clear();
    showView();
    EXPECT_FALSE(tableShown());
    EXPECT_TRUE(hint()->isVisible());
    EXPECT_TRUE(hint()->text().startsWith(QStringLiteral("No hay aparatos guardados"))) << hint()->text().toStdString();
    EXPECT_EQ(count(), QStringLiteral("0 aparatos, 0 necesitan atención"));

    rows_ = smallOffice();
    view_->refresh();
    EXPECT_TRUE(tableShown());
    view_->findChild<QLineEdit*>(QStringLiteral("TextBuscarAparato"))->setText(QStringLiteral("nadie"));
    EXPECT_FALSE(tableShown());
    EXPECT_TRUE(hint()->text().startsWith(QStringLiteral("Ningún aparato coincide"))) << hint()->text().toStdString();
    view_->findChild<QLineEdit*>(QStringLiteral("TextBuscarAparato"))->clear();
    EXPECT_TRUE(tableShown());

    failure_ = ownWords(QStringLiteral("No se puede leer la base de datos"));
    EXPECT_FALSE(view_->refresh());
    EXPECT_FALSE(tableShown());
    EXPECT_TRUE(hint()->text().contains(QStringLiteral("No se puede leer la base de datos")))
        << hint()->text().toStdString();
    failure_.reset();
    EXPECT_TRUE(view_->refresh());
    EXPECT_TRUE(tableShown());
}

TEST_F(FleetViewTest, TheFilterComboAndSearchFieldNarrowTheTable)
{
    showView();
    auto* filter = view_->findChild<QComboBox*>(QStringLiteral("ComboFiltroAparatos"));
    // Each mode's units are the model's to pick (FleetModelTest): here the combo reaches the filter.
    ASSERT_EQ(filter->count(), 5);
    filter->setCurrentIndex(2);
    EXPECT_EQ(view_->table()->model()->rowCount(), 2);
    filter->setCurrentIndex(1);
    view_->findChild<QLineEdit*>(QStringLiteral("TextBuscarAparato"))->setText(QStringLiteral("luna"));
    ASSERT_EQ(view_->table()->model()->rowCount(), 1);
    EXPECT_EQ(view_->serialOnRow(0), 4004);
    // A refresh keeps both.
    view_->refresh();
    EXPECT_EQ(view_->table()->model()->rowCount(), 1);
}

TEST_F(FleetViewTest, CtrlFTakesTheFocusToTheSearchField)
{
    showView();
    view_->activateWindow();
    QApplication::setActiveWindow(view_.get());
    view_->table()->setFocus();
    settle();
    auto* search = view_->findChild<QLineEdit*>(QStringLiteral("TextBuscarAparato"));
    search->setText(QStringLiteral("sol"));
    ASSERT_FALSE(search->hasFocus());
    keyInto(view_.get(), Qt::Key_F, Qt::ControlModifier);
    settle();
    EXPECT_TRUE(search->hasFocus());
    EXPECT_EQ(search->selectedText(), QStringLiteral("sol")) << "typing replaces the last search";
}

TEST_F(FleetViewTest, TheStaleDaysGoToTheLoaderAndAreAnnounced)
{
    showView();
    QList<int> announced;
    QObject::connect(view_.get(), &FleetView::staleDaysChanged, [&](int days) { announced += days; });
    auto* spin = view_->findChild<QSpinBox*>(QStringLiteral("SpinDiasSinLeer"));
    spin->setValue(45);
    EXPECT_EQ(view_->staleDays(), 45);
    EXPECT_EQ(lastStaleDays_, 45);
    EXPECT_EQ(loads_, 2);
    EXPECT_EQ(announced, QList<int>{45});
}

TEST_F(FleetViewTest, DoubleClickAndTheMenuOpenTheirWindowForTheUnitOnTheRow)
{
    showView();
    QTableView* table = view_->table();
    // Sorted by serial the second row is 2002, whatever the urgency order was.
    table->sortByColumn(FleetModel::Serial, Qt::AscendingOrder);
    const QRect cell = table->visualRect(table->model()->index(1, FleetModel::Venue));
    doubleClick(table->viewport(), cell.center());
    EXPECT_EQ(opened_, QStringList{QStringLiteral("data 2002")});

    const QStringList entries = {QStringLiteral("Datos registrados"), QStringLiteral("Programación"),
                                 QStringLiteral("Gráfica"), QStringLiteral("Informes"), QStringLiteral("Descargar")};
    const QStringList expected = {QStringLiteral("data 3003"), QStringLiteral("programming 3003"),
                                  QStringLiteral("graph 3003"), QStringLiteral("reports 3003"),
                                  QStringLiteral("download 3003")};
    const QRect third = table->visualRect(table->model()->index(2, FleetModel::Phone));
    for (const QString& entry : entries) {
        opened_.clear();
        QStringList offered;
        QSet<QChar> keys;
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            for (QAction* a : menu->actions()) {
                // Each entry has an access key of its own.
                offered += withoutAccessKey(a->text());
                keys += accessKeyOf(a->text());
                if (withoutAccessKey(a->text()) == entry)
                    menu->setActiveAction(a);
            }
            QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QApplication::sendEvent(menu, &enter);
        });
        emit table->customContextMenuRequested(third.center());
        EXPECT_EQ(offered, entries);
        EXPECT_EQ(keys.size(), entries.size());
        EXPECT_FALSE(keys.contains(QChar()));
        EXPECT_EQ(table->selectionModel()->selectedRows().value(0).row(), 2);
        EXPECT_EQ(opened_, QStringList{expected[entries.indexOf(entry)]}) << entry.toStdString();
    }
    // Below the last row there is no unit to offer anything for.
    opened_.clear();
    view_->openForRow(99, FleetView::Action::Download);
    EXPECT_TRUE(opened_.isEmpty());
}

TEST_F(FleetViewTest, ARefreshKeepsTheSelectedUnitWhereverItsRowMoves)
{
    showView();
    view_->table()->selectRow(4); // 1001
    ASSERT_EQ(view_->serialOnRow(4), 1001);
    rows_.insert(rows_.begin(), tampered(9009, QStringLiteral("Nuevo")));
    view_->refresh();
    const QModelIndexList selected = view_->table()->selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(view_->serialOnRow(selected.front().row()), 1001);
    EXPECT_EQ(selected.front().row(), 5);
}

QString text(const QAbstractItemModel& model, int row, int column, int role = Qt::DisplayRole)
{
    return model.data(model.index(row, column), role).toString();
}

QList<qint32> serials(const FleetFilterModel& proxy)
{
    QList<qint32> out;
    for (int row = 0; row < proxy.rowCount(); ++row)
        out += proxy.serialAt(row);
    return out;
}

class FleetModelTest : public ::testing::Test {
protected:
    void expectRow(int row, std::initializer_list<std::pair<int, const char*>> cells)
    {
        for (const auto& [column, shown] : cells)
            EXPECT_EQ(text(model_, row, column), QString::fromUtf8(shown)) << "row " << row << ", column " << column;
    }
    Translator translator_; // no language open: the native texts
    FleetModel model_{translator_};
};

TEST_F(FleetModelTest, ANeverDownloadedUnitSaysNeverAndLeavesItsCountsBlank)
{
    model_.setUnits({neverDownloaded(2002, QStringLiteral("Sala Apolo"))});
    ASSERT_EQ(model_.rowCount(), 1);
    EXPECT_EQ(model_.columnCount(), FleetModel::ColumnCount);
    expectRow(0, {{FleetModel::Serial, "2002"}, {FleetModel::Venue, "Sala Apolo"}, {FleetModel::Phone, "93 555 2002"},
                  {FleetModel::LastDownload, "Nunca"}, {FleetModel::Outcome, ""}, {FleetModel::DaysSince, ""},
                  {FleetModel::RecordsStored, ""}, {FleetModel::Journal, "Sin comprobar"},
                  {FleetModel::Reasons, "Sin leer hace tiempo"}});
    // Never read is the longest wait: it sorts past every count of days.
    FleetUnit read = fleetUnit(1, QStringLiteral("x"));
    read.daysSinceDownload = 4000;
    model_.setUnits({neverDownloaded(2002, QStringLiteral("Sala Apolo")), read});
    EXPECT_GT(model_.data(model_.index(0, FleetModel::DaysSince), FleetModel::SortRole).toInt(),
              model_.data(model_.index(1, FleetModel::DaysSince), FleetModel::SortRole).toInt());
    EXPECT_LT(model_.data(model_.index(0, FleetModel::LastDownload), FleetModel::SortRole).toLongLong(),
              model_.data(model_.index(1, FleetModel::LastDownload), FleetModel::SortRole).toLongLong());
}

TEST_F(FleetModelTest, ATamperedUnitShowsItsCountsAndReasonsMarked)
{
    model_.setUnits({tampered(5005, QStringLiteral("Discoteca Sol")), fleetUnit(1001, QStringLiteral("Café Central"))});
    expectRow(0, {{FleetModel::LastDownload, "2026-11-20"}, {FleetModel::Outcome, "Parada"},
                  {FleetModel::DaysSince, "17"}, {FleetModel::RecordsStored, "120"}, {FleetModel::Erasures, "2"},
                  {FleetModel::BatteryEnds, "0"}, {FleetModel::Reprogrammings, "1"},
                  {FleetModel::ReprogrammedElsewhere, "Sí"}, {FleetModel::Journal, "No"},
                  {FleetModel::Reasons, "Memoria borrada, Reprogramado, Diario alterado"}});
    EXPECT_EQ(text(model_, 0, FleetModel::LastDownload, Qt::ToolTipRole), QStringLiteral("2026-11-20 09:30"));
    EXPECT_EQ(text(model_, 0, FleetModel::Reasons, Qt::ToolTipRole), text(model_, 0, FleetModel::Reasons));
    // The plain unit beside it: nothing marked, nothing to say.
    expectRow(1, {{FleetModel::Outcome, "Completada"}, {FleetModel::ReprogrammedElsewhere, "No"},
                  {FleetModel::Journal, "Sí"}, {FleetModel::Reasons, ""}});

    const auto marked = [&](int row, int column) {
        return model_.data(model_.index(row, column), Qt::ForegroundRole).canConvert<QBrush>();
    };
    for (int column : {FleetModel::Erasures, FleetModel::Reprogrammings, FleetModel::ReprogrammedElsewhere,
                       FleetModel::Journal, FleetModel::Reasons}) {
        EXPECT_TRUE(marked(0, column)) << column;
        EXPECT_FALSE(marked(1, column)) << column;
    }
    EXPECT_FALSE(marked(0, FleetModel::BatteryEnds)) << "no battery end to mark";
    EXPECT_FALSE(model_.data(model_.index(0, FleetModel::Serial), Qt::DecorationRole).value<QIcon>().isNull());
    EXPECT_FALSE(model_.data(model_.index(1, FleetModel::Serial), Qt::DecorationRole).isValid());
    EXPECT_EQ(model_.needingAttention(), 1);
}

TEST_F(FleetModelTest, EveryHeadingIsNamedAndTheShortOnesExplained)
{
    for (int column = 0; column < FleetModel::ColumnCount; ++column)
        EXPECT_FALSE(model_.headerData(column, Qt::Horizontal).toString().isEmpty()) << column;
    EXPECT_FALSE(model_.headerData(FleetModel::Erasures, Qt::Horizontal, Qt::ToolTipRole).toString().isEmpty());
}

TEST_F(FleetModelTest, FilterModesPickTheirUnits)
{
    model_.setUnits(smallOffice());
    FleetFilterModel proxy;
    proxy.setSourceModel(&model_);
    struct Case {
        FleetFilter filter;
        QList<qint32> shown;
    };
    const Case cases[] = {
        {FleetFilter::All, {5005, 4004, 3003, 2002, 1001, 6006}},
        {FleetFilter::Attention, {5005, 4004, 3003, 2002}},
        {FleetFilter::Tamper, {5005, 4004}},
        {FleetFilter::Stale, {2002}},
        {FleetFilter::Exceedances, {3003}},
    };
    for (const Case& c : cases) {
        proxy.setFilter(c.filter);
        EXPECT_EQ(proxy.filter(), c.filter);
        EXPECT_EQ(serials(proxy), c.shown) << int(c.filter);
    }
}

TEST_F(FleetModelTest, SearchFindsSerialVenueAndTelephoneWithinTheFilter)
{
    model_.setUnits(smallOffice());
    FleetFilterModel proxy;
    proxy.setSourceModel(&model_);
    struct Case {
        const char* search;
        QList<qint32> shown;
    };
    const Case cases[] = {
        {"300", {3003}},
        {"sol", {5005}},            // venue, any case
        {"  PUERTO ", {6006}},      // trimmed
        {"93 555 4004", {4004}},    // the telephone as written
        {"935554004", {4004}},      // and without its spaces
        {"café", {1001}},
        {"nadie", {}},
        {"", {5005, 4004, 3003, 2002, 1001, 6006}},
    };
    for (const Case& c : cases) {
        proxy.setSearch(QString::fromUtf8(c.search));
        EXPECT_EQ(serials(proxy), c.shown) << c.search;
    }
    // The search narrows the filter, never widens it.
    proxy.setSearch(QStringLiteral("0"));
    proxy.setFilter(FleetFilter::Tamper);
    EXPECT_EQ(serials(proxy), (QList<qint32>{5005, 4004}));
    proxy.setSearch(QStringLiteral("Central"));
    EXPECT_TRUE(serials(proxy).isEmpty());
}

TEST_F(FleetModelTest, SortingByReasonsKeepsTheUrgencyOrderAndOtherColumnsSortByValue)
{
    std::vector<FleetUnit> units = smallOffice();
    // Two more without reasons: the loader put them by serial.
    units.push_back(fleetUnit(7007, QStringLiteral("Zeta")));
    units.push_back(fleetUnit(8008, QStringLiteral("Alfa")));
    model_.setUnits(units);
    FleetFilterModel proxy;
    proxy.setSourceModel(&model_);
    proxy.sort(FleetModel::Reasons, Qt::DescendingOrder);
    EXPECT_EQ(serials(proxy), (QList<qint32>{5005, 4004, 3003, 2002, 1001, 6006, 7007, 8008}));

    proxy.sort(FleetModel::Serial, Qt::AscendingOrder);
    EXPECT_EQ(serials(proxy), (QList<qint32>{1001, 2002, 3003, 4004, 5005, 6006, 7007, 8008}));
    proxy.sort(FleetModel::Venue, Qt::AscendingOrder);
    EXPECT_EQ(serials(proxy).front(), 8008);
    EXPECT_EQ(serials(proxy).back(), 7007);
    // Numbers as numbers: 12 nights before 6 when sorted down.
    units[0].exceedanceNights = 12;
    model_.setUnits(units);
    proxy.sort(FleetModel::ExceedanceNights, Qt::DescendingOrder);
    EXPECT_EQ(serials(proxy).mid(0, 2), (QList<qint32>{5005, 3003}));
}

} // namespace
