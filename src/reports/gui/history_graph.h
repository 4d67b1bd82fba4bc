#pragma once

#include "reports/history_graph_data.h"

#include <QDialog>
#include <QTime>
#include <QWidget>

class QLabel;

namespace tvq52 {

class Database;
class Translator;
class Prompter;
struct ShownUnit;

// What the graph writes, in the user's language.
struct HistoryTexts {
    QString noRecords = QStringLiteral("No records");
    QString night = QStringLiteral("Night");
    QString inactive = QStringLiteral("Sensor inactive");
    QString passes = QStringLiteral("Exceedances");
    QString venue = QStringLiteral("Venue Leq");
    QString neighbour = QStringLiteral("Neighbour Leq");
    QString limits = QStringLiteral("Limits");
};

// Every interval of a unit on one time axis: the venue and neighbour levels
// against their limits, passes over the limits and sensor-inactive intervals
// marked above, the night hours shaded, gaps left blank. The wheel zooms
// about the pointer, a drag or the arrow keys pan, Home shows everything.
class HistoryGraph : public QWidget {
    Q_OBJECT
public:
    explicit HistoryGraph(QWidget* parent = nullptr);

    void setData(HistoryData data, const QTime& nightStart, const QTime& nightEnd);
    const HistoryData& data() const { return data_; }
    HistoryViewport viewport() const { return view_; }
    void setViewport(const HistoryViewport& view);
    void zoom(double factor, double anchor = 0.5);
    void pan(double fraction);
    void showAll();

    // Draws the graph into `area` of any device (the widget, an image).
    void paintGraph(QPainter& painter, const QRect& area) const;
    void setTexts(const HistoryTexts& texts);

signals:
    void viewportChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QRect plotRect(const QRect& area) const;

    HistoryData data_;
    QTime nightStart_;
    QTime nightEnd_;
    HistoryViewport view_;
    bool dragging_ = false;
    int dragX_ = 0;
    HistoryViewport dragFrom_;
    HistoryTexts texts_;
};

// The window around the graph, opened from the graph window.
class HistoryGraphWindow : public QDialog {
    Q_OBJECT
public:
    // Reads the intervals from `database` (none when null).
    HistoryGraphWindow(const Translator& translator, Prompter& prompter, Database* database, QWidget* parent = nullptr);
    // Loads every interval of the unit; false (with the error shown) when
    // the database could not be read.
    bool load(const ShownUnit& unit);
    HistoryGraph* graph() const { return graph_; }

private:
    void showSpan();

    const Translator& translator_;
    Prompter& prompter_;
    Database* database_ = nullptr;
    HistoryGraph* graph_ = nullptr;
    QLabel* span_ = nullptr;
};

} // namespace tvq52
