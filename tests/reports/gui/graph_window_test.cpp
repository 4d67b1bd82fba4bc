#include "../../programming/gui/window_fixture.h"
#include "records/recorded_data.h"
#include "records/shown_unit.h"
#include "reports/gui/graph_window.h"
#include "reports/gui/history_graph.h"
#include "support/rows.h"

#include <QBarCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>

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
            Row r = row({{"LNumeroSerie", kSerial},
                         {"DFechaInicio", start.date()},
                         {"THoraInicio", start.time().toString(QStringLiteral("hh:mm"))},
                         {"DFechaFinal", end.date()},
                         {"THoraFinal", end.time().toString(QStringLiteral("hh:mm"))},
                         {"ByTLeq", 5},
                         {"SLeqLocal", 60.0 + i / 10.0},
                         {"SLeqVecino", 30.0},
                         {"ByNivelLeqLocal", 90},
                         {"ByNivelLeqVecino", 35},
                         {"BoRS232", false},
                         {"BoProgramacion", false}});
            for (const auto& [at, column] : set)
                if (at == i)
                    r.set(QString::fromUtf8(column.first), column.second);
            ASSERT_TRUE(store_->insert(QStringLiteral("Intervalos"), r)) << store_->lastError().toStdString();
        }
    }

    void open()
    {
        storeUnit(kSerial, QStringLiteral("Sala \"Luna\"; 100% l'Ocell"));
        const auto unit = loadShownUnit(*ctx_->db, kSerial);
        ASSERT_TRUE(unit);
        window_ = std::make_unique<GraphWindow>(ctx_->guru, prompter_, ctx_->db.get());
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
    HistoryGraphWindow history(ctx_->guru, prompter_, ctx_->db.get());
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

} // namespace
} // namespace tvq52::test
