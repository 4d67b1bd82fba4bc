#include "../../programming/gui/window_fixture.h"
#include "app/data_folder.h"
#include "app/settings.h"
#include "programming/programming_store.h"
#include "records/recorded_data.h"
#include "records/shown_unit.h"
#include "reports/graph_report.h"
#include "reports/gui/graph_window.h"
#include "reports/gui/history_graph.h"
#include "support/layout_checks.h"
#include "support/result_checks.h"
#include "support/rows.h"
#include "support/started_program.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QDir>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QStackedBarSeries>

namespace tvq52::test {
namespace {

class GraphWindowTest : public WindowFixture {
protected:
    static constexpr qint32 kSerial = 31337;

    // `n` five-minute intervals from 1 March 2026 00:00; interval i has the
    // venue level 60 + i / 10.
    void addIntervals(int n, std::initializer_list<std::pair<int, std::pair<const char*, QVariant>>> set = {})
    {
        const QDateTime base = wallClock(QDate(2026, 3, 1), QTime(0, 0));
        for (int i = 0; i < n; ++i) {
            const QDateTime start = base.addSecs(300 * i);
            const QDateTime end = start.addSecs(300);
            Row r = spanRow(kSerial, start, end,
                            {{"ByTLeq", 5},
                             {"SLeqLocal", 60.0 + i / 10.0},
                             {"SLeqVecino", 30.0},
                             {"ByNivelLeqLocal", 90},
                             {"ByNivelLeqVecino", 35},
                             {"BoRS232", false},
                             {"BoProgramacion", false}});
            for (const auto& [at, column] : set)
                if (at == i)
                    r.set(QString::fromUtf8(column.first), column.second);
            ASSERT_TRUE(test::succeeded(store_->insert(QStringLiteral("Intervalos"), r)));
        }
    }

    void open()
    {
        storeUnit(kSerial, QStringLiteral("Sala \"Luna\"; 100% l'Ocell"));
        const auto unit = loadShownUnit(*ctx_->db, kSerial);
        ASSERT_TRUE(unit);
        window_ = std::make_unique<GraphWindow>(ctx_->translator, prompter_, ctx_->db.get());
        ASSERT_TRUE(window_->load(*unit));
        window_->resize(1000, 720);
        activate(window_.get());
    }

    QLineSeries* curve(int series)
    {
        return static_cast<QLineSeries*>(window_->levelView()->chart()->series().at(series));
    }
    QStringList categories()
    {
        auto* axis = qobject_cast<QBarCategoryAxis*>(window_->eventView()->chart()->axes(Qt::Horizontal).first());
        return axis->categories();
    }
    void clickAt(QChartView* view, const QPointF& value, int series, Qt::MouseButton button = Qt::LeftButton)
    {
        QChart* chart = view->chart();
        const QPointF scene = chart->mapToScene(chart->mapToPosition(value, curve(series)));
        const QPoint at = view->mapFromScene(scene) + QPoint(3, -4);
        QMouseEvent press(QEvent::MouseButtonPress, at, view->viewport()->mapToGlobal(at), button, button,
                          Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &press);
    }

    std::unique_ptr<GraphWindow> window_;
};

TEST_F(GraphWindowTest, OpensOnTheNewestFiftyAndStepsBackOne)
{
    addIntervals(120);
    open();
    EXPECT_EQ(window_->slider()->maximum(), 70);
    EXPECT_EQ(window_->slider()->value(), 70);
    // Record 71 (index 70) starts 70 * 5 minutes after midnight: 05:50.
    EXPECT_EQ(categories().first(), QStringLiteral("01.03.26  05:50 <> 05:55"));
    EXPECT_EQ(curve(SeriesLeqVenue)->count(), 50);
    EXPECT_DOUBLE_EQ(curve(SeriesLeqVenue)->at(0).y(), double(float(60.0 + 7.0)));
    window_->findChild<QPushButton*>(QStringLiteral("SSCommandSliderLeft"))->click();
    EXPECT_EQ(window_->slider()->value(), 69);
    EXPECT_EQ(categories().first(), QStringLiteral("01.03.26  05:45 <> 05:50"));
    EXPECT_EQ(window_->findChild<QLineEdit*>(QStringLiteral("TextLocal"))->text(),
              QStringLiteral("Sala \"Luna\"; 100% l'Ocell"));
    EXPECT_TRUE(prompter_.shown().isEmpty());
}

TEST_F(GraphWindowTest, SensorInactiveRecordLeavesAGapInTheMeasuredCurvesOnly)
{
    addIntervals(30, {{10, {"IE3", 5}}, {20, {"SLeqVecino", 45.2}}, {25, {"SLeqLocal", 59.0}}});
    open();
    EXPECT_EQ(window_->slider()->value(), 0);
    // Point 11 is missing from the venue curve, which goes on in a second stretch.
    const QList<QPointF> first = curve(SeriesLeqVenue)->points();
    ASSERT_EQ(first.size(), 10);
    EXPECT_EQ(first.last().x(), 10);
    EXPECT_EQ(curve(SeriesLimitVenue)->count(), 30);
    EXPECT_EQ(categories().at(30), QStringLiteral(" ").repeated(31));

    // A click on a point shows its values by the display rules.
    clickAt(window_->levelView(), QPointF(21, 45.2), SeriesLeqNeighbour);
    EXPECT_TRUE(window_->pointLabel().contains(QStringLiteral(":45.2 "))) << window_->pointLabel().toStdString();
    clickAt(window_->levelView(), QPointF(26, 59.0), SeriesLeqVenue);
    EXPECT_TRUE(window_->pointLabel().contains(QStringLiteral(":UND "))) << window_->pointLabel().toStdString();
    EXPECT_TRUE(window_->pointLabel().startsWith(QStringLiteral("01.03.26  02:05 <> 02:10")));
    // A click far from every point shows nothing.
    clickAt(window_->levelView(), QPointF(26, 5.0), SeriesLeqVenue);
    EXPECT_TRUE(window_->pointLabel().isEmpty()) << window_->pointLabel().toStdString();
}

// However narrow the chart, the point label breaks only between one curve's
// value and the next curve's name.
TEST_F(GraphWindowTest, ThePointLabelNeverBreaksInsideACurveName)
{
    addIntervals(30);
    open();
    for (const int width : {1000, 700, 520}) {
        window_->resize(width, window_->height());
        test::settle();
        window_->showPoint(12);
        const QStringList lines = window_->pointLabelLines();
        ASSERT_GE(lines.size(), 3) << width;
        for (int s = 0; s < 8; ++s) {
            const QString name = curve(s)->name();
            ASSERT_TRUE(name.contains(QLatin1Char(' '))) << "a name of several words: " << name.toStdString();
            int whole = 0;
            for (const QString& line : lines)
                whole += QString(line).replace(QChar(0x00A0), QLatin1Char(' ')).contains(name + QLatin1Char(':'));
            EXPECT_EQ(whole, 1) << width << ": " << name.toStdString() << " in " << lines.join('|').toStdString();
        }
    }
}

TEST_F(GraphWindowTest, CurveSwitchHidesEveryStretchOfItsCurve)
{
    addIntervals(12, {{5, {"IE3", 1}}});
    open();
    QChart* chart = window_->levelView()->chart();
    const auto visibleVenue = [&] {
        int shown = 0;
        for (QAbstractSeries* s : chart->series()) {
            auto* line = qobject_cast<QLineSeries*>(s);
            if (line && line->pen() == curve(SeriesLeqVenue)->pen() && line->isVisible())
                ++shown;
        }
        return shown;
    };
    EXPECT_EQ(visibleVenue(), 2);
    window_->curveActions()[SeriesLeqVenue]->setChecked(false);
    EXPECT_EQ(visibleVenue(), 0);
    EXPECT_FALSE(window_->curveVisible(SeriesLeqVenue));
    // A hidden curve cannot be clicked.
    clickAt(window_->levelView(), QPointF(1, 60.0), SeriesLeqVenue);
    EXPECT_TRUE(window_->pointLabel().isEmpty() || !window_->pointLabel().contains(QStringLiteral("60.0 ")));
    window_->curveActions()[SeriesLeqVenue]->setChecked(true);
    EXPECT_EQ(visibleVenue(), 2);
    EXPECT_EQ(window_->curveActions().size(), std::size_t(kLevelSeries));
}

TEST_F(GraphWindowTest, WholeHistoryShowsEveryIntervalAndPans)
{
    addIntervals(300);
    storeUnit(kSerial);
    const auto unit = loadShownUnit(*ctx_->db, kSerial);
    ASSERT_TRUE(unit);
    HistoryGraphWindow history(ctx_->translator, prompter_, ctx_->db.get());
    ASSERT_TRUE(history.load(*unit));
    history.resize(900, 600);
    activate(&history);
    HistoryGraph* graph = history.graph();
    EXPECT_EQ(graph->data().size(), 300u);
    const HistoryViewport all = graph->viewport();
    EXPECT_LE(all.from, graph->data().first());
    EXPECT_GE(all.to, graph->data().last());
    press(graph, Qt::Key_Plus);
    EXPECT_LT(graph->viewport().span(), all.span());
    const HistoryViewport zoomed = graph->viewport();
    press(graph, Qt::Key_Left);
    EXPECT_LT(graph->viewport().from, zoomed.from);
    press(graph, Qt::Key_Home);
    EXPECT_EQ(graph->viewport().from, all.from);
    EXPECT_TRUE(prompter_.shown().isEmpty());
}

// The graph window, the whole history and the graph report in the user's
// language, on a unit with a day of records; pictures of them go to
// $TVQ52_SHOTS for a person to look at.
constexpr qint32 kLanguagesSerial = 404040;

// Two days and a half of 10-minute intervals with a loud night, passes, a
// sensor-inactive hour and an afternoon without records.
void storeUnitWithRecords(AppContext& ctx)
{
    Store store(*ctx.db);
    ProgrammingRecord r = defaultProgramming(QDate(2026, 4, 1));
    r.serial = kLanguagesSerial;
    r.venue = QStringLiteral("Sala \"La Estación\"; 100% rock'n'roll");
    r.version = QStringLiteral("3.3");
    r.nightStart = QStringLiteral("22:00");
    r.nightEnd = QStringLiteral("08:00");
    ASSERT_TRUE(saveProgramming(store, r, unusedIntervals()));
    const QDateTime base = wallClock(QDate(2026, 4, 10), QTime(12, 0));
    ASSERT_TRUE(store.transaction());
    for (int i = 0; i < 6 * 60; ++i) {
        const QDateTime start = base.addSecs(600LL * i);
        if (i >= 150 && i < 170)
            continue; // the unit was off
        const int hour = start.time().hour();
        const bool night = hour >= 22 || hour < 8;
        const double wave = 8 * std::sin(i / 7.0);
        const double venue = (night ? 88 : 72) + wave;
        const bool inactive = i >= 40 && i < 46;
        ASSERT_TRUE(store.insert(QStringLiteral("Intervalos"),
                                 spanRow(kLanguagesSerial, start, start.addSecs(600),
                                         {{"ByTLeq", 10},
                                          {"SLeqLocal", inactive ? 0.0 : venue},
                                          {"SLeqVecino", inactive ? 0.0 : venue - 50},
                                          {"SMaxFast", inactive ? 0.0 : venue + 9},
                                          {"ByNivelLeqLocal", night ? 85 : 95},
                                          {"ByNivelLeqVecino", night ? 30 : 35},
                                          {"ByNivelMFast", 105},
                                          {"SMaxLeq1min", venue + 4},
                                          {"SMinLeq1min", venue - 6},
                                          {"SL1", venue + 6},
                                          {"SL5", venue + 4},
                                          {"SL10", venue + 3},
                                          {"SL50", venue},
                                          {"SL90", venue - 4},
                                          {"IPasadasLocal", venue > (night ? 85 : 95) ? 30 : 0},
                                          {"IPasadasVecino", venue - 50 > (night ? 30 : 35) ? 12 : 0},
                                          {"IE3", inactive ? 1 : 0},
                                          {"IDesco", i == 100 ? 1 : 0},
                                          {"BoRS232", false},
                                          {"BoProgramacion", false}})));
    }
    ASSERT_TRUE(store.commit());
}

TEST(GraphInLanguages, WindowsAndReportSpeakTheChosenLanguage)
{
    StartedProgram program;
    AppContext& ctx = program.shell->context();
    storeUnitWithRecords(ctx);
    const auto unit = loadShownUnit(*ctx.db, kLanguagesSerial);
    ASSERT_TRUE(unit);
    const QString shots = qEnvironmentVariable("TVQ52_SHOTS");

    // The event bars' labels, which no window walk sees, and the charts' caption.
    const std::tuple<const char*, const char*, const char*, const char*> languages[] = {
        {"OptionEspañol", "es", "Sensor inactivo", "Gráfica"}, {"OptionAleman", "de", "Sensor inaktiv", "Grafik"}};
    for (const auto& [option, language, inactiveBars, chartsCaption] : languages) {
        program.chooseLanguage(option);
        const QString tag = QString::fromLatin1(language);
        GraphWindow window(ctx.translator, program.prompter, ctx.db.get());
        ASSERT_TRUE(window.load(*unit));
        window.resize(1000, 720);
        window.show();
        settle();
        auto* bars = qobject_cast<QStackedBarSeries*>(window.eventView()->chart()->series().first());
        ASSERT_NE(bars, nullptr);
        EXPECT_EQ(bars->barSets().at(EventSensorInactive)->label(), QString::fromUtf8(inactiveBars));
        // A day's change falls inside the newest 50 ten-minute records.
        window.showPoint(30);
        expectWhole(window, QStringLiteral("Form9_data_") + tag);

        HistoryGraphWindow history(ctx.translator, program.prompter, ctx.db.get());
        ASSERT_TRUE(history.load(*unit));
        history.show();
        settle();
        expectWhole(history, QStringLiteral("FormHistorial_data_") + tag);

        auto built = buildGraphReport(
            *ctx.db, ctx.translator, reportTemplatePath(findAssetFolder(), QStringLiteral("tvq52_4.xml")), kLanguagesSerial,
            unit->firmware, window.levelPicture(), window.eventPicture(), reportFooterText(ctx),
            window.shownRange()->first, window.shownRange()->second);
        ASSERT_TRUE(built) << built.error().detail.toStdString();
        const RenderedReport& report = *built;
        EXPECT_TRUE(report.pageTexts(report.pageCount() - 1).contains(QString::fromUtf8(chartsCaption)));
        EXPECT_TRUE(report.pageTexts(0).contains(unit->venue));
        if (!shots.isEmpty() && QDir().mkpath(shots)) {
            EXPECT_TRUE(report.writePdf(QDir(shots).filePath(QStringLiteral("graph_report_%1.pdf").arg(tag))));
        }
    }
    EXPECT_TRUE(program.prompter.shown().isEmpty()) << program.prompter.shown().value(0).text.toStdString();
}

} // namespace
} // namespace tvq52::test
