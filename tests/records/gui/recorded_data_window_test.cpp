#include "link/clock.h"
#include "link/memory_line.h"
#include "recorded_history.h"
#include "records/record_store.h"
#include "records_fixture.h"
#include "sim_options.h"
#include "unit_simulator.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QTimer>

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
    ASSERT_EQ(intervals()->rowCount(), 1);
    EXPECT_EQ(cell(0, "DFechaInicio"), QStringLiteral("02/03/2010"));
    EXPECT_EQ(cell(0, "THoraInicio"), QStringLiteral("14:20"));
    EXPECT_EQ(cell(0, "SLeqLocal"), QStringLiteral("UND"));
    EXPECT_EQ(cell(0, "SLeqVecino"), QStringLiteral("59.0"));
    EXPECT_EQ(cell(0, "ByNivelLeqLocal"), QStringLiteral("---"));
    EXPECT_EQ(cell(0, "ByDNA"), QStringLiteral("Sin calibrar"));
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
    EXPECT_EQ(intervals()->headerData(level, Qt::Horizontal).toString(), QStringLiteral("LeqT(emisión)\ndBA"));
    EXPECT_EQ(intervals()->headerData(intervals()->columnOf(QStringLiteral("SL90")), Qt::Horizontal).toString(),
              QStringLiteral("L90\ndBA"));
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
    ctx_->link.UnitSerial = 7;
    open();
    EXPECT_EQ(shownSerial(), QStringLiteral("7"));
    EXPECT_EQ(child<QLineEdit>(window_.get(), "TextLocal")->text(), QStringLiteral("Sala 7"));
    window_->close();

    ctx_->link.UnitSerial = 0;
    activate(window_.get());
    ASSERT_EQ(shownSerial(), QStringLiteral("5"));
    click("SSCommandAnterior");
    EXPECT_EQ(beeps_, 1);
    EXPECT_EQ(shownSerial(), QStringLiteral("5"));
    click("SSCommandSiguiente");
    click("SSCommandSiguiente");
    EXPECT_EQ(shownSerial(), QStringLiteral("9"));
    EXPECT_EQ(ctx_->link.UnitSerial, 9);
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
    ASSERT_TRUE(GrabaProgramacio(*store_, r, intervals));
    open();
    const auto& u = window_->shownUnit();
    ASSERT_TRUE(u.has_value());
    EXPECT_EQ(u->recordDate, QStringLiteral("02/03/10"));
    EXPECT_EQ(u->sessionHours[0], QStringLiteral("18:00"));
    EXPECT_EQ(u->sessionHours[7], QStringLiteral("23:00"));
    EXPECT_EQ(u->sessionHours[1], QStringLiteral("20:00"));
    EXPECT_EQ(u->sessionHours[8], QStringLiteral("02:00"));
    EXPECT_EQ(u->intervals[4], intervals[4]);
    EXPECT_EQ(ctx_->link.UnitFirmware, QStringLiteral("2.5"));
    EXPECT_EQ(ctx_->link.PhoneNumber, QStringLiteral("934445566"));
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
    EXPECT_EQ(window_->windowTitle(), QStringLiteral("TVQ-52"));
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


using RecordedDataDownload = RecordsWindowFixture;

// The simulated unit 4711 (firmware 4.0) in this process over an in-memory
// line, on virtual time, with `days` of history up to 15/03/2024 10:00.
struct SimulatedUnitLine {
    QString error;
    std::optional<sim::SimOptions> options;
    sim::RecordedHistory history;
    VirtualClock clock;
    MemoryLine line{clock};
    std::unique_ptr<sim::UnitSimulator> unit;

    explicit SimulatedUnitLine(const char* days)
        : options(sim::parseSimOptions(QStringList{"tvq52-sim", "--serial", "4711", "--firmware", "4.0", "--days",
                                                   QString::fromLatin1(days), "--history-end", "2024-03-15T10:00"},
                                       &error, nullptr))
    {
        if (!options)
            return;
        history = sim::generateHistory({options->seed, options->days, options->leqMinutes, options->historyEnd});
        unit =
            std::make_unique<sim::UnitSimulator>(*options, history, [this](const QByteArray& b) { line.deliver(b); });
        line.onWrite([this](const QByteArray& b) { unit->receive(b); });
    }
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
    EXPECT_FALSE(window_->chooseRange(proposedRange(records, 1, now)).has_value());
    lookAndClose();
    EXPECT_FALSE(window_->chooseRange(proposedRange(records, 2, now)).has_value());
    EXPECT_EQ(seen, (QStringList{"14/01/10 10:00", "15/03/10 10:00", "02/03/10 14:20", "15/03/10 10:00"}));
}

// The simulated unit in this process over an in-memory line, on virtual time.
TEST_F(RecordedDataDownload, ADownloadFillsTheGridsAndShowsWhatItReceived)
{
    storeUnit(4711, QStringLiteral("Sala"), QStringLiteral("4.0"));
    SimulatedUnitLine sim("1");
    ASSERT_TRUE(sim.unit) << sim.error.toStdString();

    open();
    window_->setLink(&sim.line, &sim.clock);
    window_->setRangeRunner(
        [](const DownloadRange&) { return DownloadRange::from(at(14, 3, 2024, 0, 0), at(15, 3, 2024, 10, 0)); });
    ASSERT_EQ(intervals()->rowCount(), 0);
    click("SSCommandRecibir");
    settle();

    EXPECT_TRUE(prompter_.catalogueIds().contains(61)) << prompter_.shown().value(0).text.toStdString();
    const qint64 stored = store_->count(QStringLiteral("Intervalos"), row({{"LNumeroSerie", 4711}}));
    ASSERT_GT(stored, 0);
    EXPECT_EQ(intervals()->rowCount(), stored);
    EXPECT_EQ(window_->model(RecordedDataWindow::Sessions)->rowCount(),
              store_->count(QStringLiteral("Sesiones"), row({{"LNumeroSerie", 4711}})));
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
    SimulatedUnitLine sim("3");
    ASSERT_TRUE(sim.unit) << sim.error.toStdString();
    open();
    window_->setLink(&sim.line, &sim.clock);
    window_->setRangeRunner(
        [](const DownloadRange&) { return DownloadRange::from(at(12, 3, 2024, 0, 0), at(15, 3, 2024, 10, 0)); });
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
}

} // namespace
