#include "link/clock.h"
#include "link/memory_line.h"
#include "recorded_history.h"
#include "records/record_store.h"
#include "records_fixture.h"
#include "sim_options.h"
#include "unit_simulator.h"

#include <QLabel>
#include <QTimer>

using namespace tvq52;
using namespace tvq52::test;

namespace {

using RecordedDataDownload = RecordsWindowFixture;

QDateTime at(int d, int m, int y, int h, int n)
{
    return QDateTime(QDate(y, m, d), QTime(h, n), Qt::UTC);
}

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

} // namespace

namespace {

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
