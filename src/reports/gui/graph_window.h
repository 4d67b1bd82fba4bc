#pragma once

#include "records/shown_unit.h"
#include "reports/level_graph.h"

#include <QDialog>
#include <QImage>
#include <array>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

class QChart;
class QChartView;
class QGraphicsTextItem;
class QGraphicsRectItem;
class QLineEdit;
class QLineSeries;
class QBarSet;
class QBarCategoryAxis;
class QMenu;
class QSlider;
class QValueAxis;

namespace tvq52 {

class Database;
class Translator;
class Prompter;

// The graph window: the unit's interval records 50 at a time, the levels against the
// limits in force above and the events below. What it shows is worked out
// in level_graph.h; the window only draws it.
class GraphWindow : public QDialog {
    Q_OBJECT
public:
    // Reads the unit's records from `database` (none when null); the help
    // button calls `openHelp`.
    GraphWindow(const Translator& translator, Prompter& prompter, Database* database, std::function<void()> openHelp = {},
                QWidget* parent = nullptr);

    // Loads the unit's records and shows the newest 50; false (with the
    // error shown) when the database could not be read.
    bool load(const ShownUnit& unit);

    const GraphPage& page() const { return page_; }
    QSlider* slider() const { return slider_; }
    QChartView* levelView() const { return levelView_; }
    QChartView* eventView() const { return eventView_; }
    // The text of the point label last shown, empty when none.
    QString pointLabel() const;
    // The same as it is broken into lines on the screen.
    QStringList pointLabelLines() const;
    // Shows the label of point `index` (0 to 49) as a click on it does.
    void showPoint(int index);
    // The show/hide item of every curve of the level chart, in series order.
    const std::vector<QAction*>& curveActions() const { return curveActions_; }
    bool curveVisible(int series) const;
    // The two charts as pictures, for the graph report.
    QImage levelPicture() const;
    QImage eventPicture() const;
    // The starts of the first and last interval the charts show; nothing
    // when they show none.
    std::optional<std::pair<QDateTime, QDateTime>> shownRange() const;
    // Opens the whole-history graph of the unit shown.
    void setHistoryOpener(std::function<void(const ShownUnit&)> open) { openHistory_ = std::move(open); }
    // Prints through the graph report; the program gives the report builder.
    using Printer = std::function<void(GraphWindow& window, const ShownUnit& unit)>;
    void setPrinter(Printer print) { print_ = std::move(print); }

    void stepLeft();
    void stepRight();
    void FillCharts();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildUi();
    QChartView* buildLevelChart();
    QChartView* buildEventChart();
    void clicked(QChartView* view, const QPoint& at, Qt::MouseButton button);
    void popUp(QChartView* view, const QPoint& at);
    void savePicture(QChartView* view);
    void setCurveVisible(int series, bool visible);
    void alignPlotAreas();
    // Reads the records the slider's value shows.
    void readShown();
    QImage pictureOf(QChartView* view) const;

    const Translator& translator_;
    Prompter& prompter_;
    Database* database_ = nullptr;
    std::function<void()> openHelp_;
    ShownUnit unit_;
    // The records shown and the one before them; the first is number
    // `recordsFrom_` of the unit's `total_`.
    QList<GraphRecord> records_;
    int recordsFrom_ = 0;
    qint64 total_ = 0;
    bool shownRead_ = true;
    GraphSlider range_;
    GraphPage page_{};
    int eventSeries_ = kEventSeries;

    QLineEdit* serial_ = nullptr;
    QLineEdit* date_ = nullptr;
    QLineEdit* venue_ = nullptr;
    QChartView* levelView_ = nullptr;
    QChartView* eventView_ = nullptr;
    QChart* levelChart_ = nullptr;
    QChart* eventChart_ = nullptr;
    QValueAxis* levelX_ = nullptr;
    QValueAxis* levelY_ = nullptr;
    QBarCategoryAxis* eventX_ = nullptr;
    QValueAxis* eventY_ = nullptr;
    // Each curve: its named series (the first stretch of points) and one
    // more series for every stretch after an empty point.
    std::array<QLineSeries*, kLevelSeries> curves_{};
    std::array<std::vector<QLineSeries*>, kLevelSeries> stretches_;
    std::array<QBarSet*, kEventSeries> eventSets_{};
    std::vector<QAction*> curveActions_;
    QGraphicsRectItem* labelBox_ = nullptr;
    QGraphicsTextItem* label_ = nullptr;
    QSlider* slider_ = nullptr;
    std::function<void(const ShownUnit&)> openHistory_;
    Printer print_;
};

} // namespace tvq52
