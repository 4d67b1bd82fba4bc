#pragma once

#include "programming/week_schedule.h"

#include <QDialog>
#include <array>
#include <functional>

class QChart;
class QChartView;
class QGroupBox;
class QHBoxLayout;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QGraphicsSimpleTextItem;

namespace tvq52 {

class FieldRules;
class Translator;
class Prompter;

// The week schedule: edits the seven session periods day by day, Monday first, and
// shows them on a week chart with the day and night periods.
class WeekScheduleWindow : public QDialog {
    Q_OBJECT
public:
    WeekScheduleWindow(const Translator& translator, Prompter& prompter, const WeekSessions& sessions,
                       const QString& nightStart, const QString& nightEnd, std::function<void()> markModified,
                       QWidget* parent = nullptr);

    WeekSessions sessions() const;
    // The day open for confirmation, 7 once Sunday has been confirmed.
    int openDay() const { return openDay_; }
    QChart* chart() const { return chart_; }

    void confirmOpenDay();
    void retry();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    struct DayControls {
        QGroupBox* frame = nullptr;
        QLineEdit* start = nullptr;
        QLineEdit* end = nullptr;
        QRadioButton* allDay = nullptr;
        QRadioButton* hours = nullptr;
        QRadioButton* closed = nullptr;
        QPushButton* confirm = nullptr;
    };

    void buildUi();
    QGroupBox* buildDay(int day);
    QHBoxLayout* buildButtons();
    void buildChart();
    void drawSessions();
    void placeNightLabels();
    void openOnly(int day);
    void setDayTexts(int day, const SessionHours& hours);
    void chooseOption(int day, DayOption option);

    const Translator& translator_;
    Prompter& prompter_;
    QString nightStart_;
    QString nightEnd_;
    std::function<void()> markModified_;
    std::array<DayControls, 7> days_;
    QPushButton* accept_ = nullptr;
    QChartView* chartView_ = nullptr;
    QChart* chart_ = nullptr;
    QList<QGraphicsSimpleTextItem*> nightLabels_;
    QList<int> nightLabelPoints_;
    int openDay_ = 0;
    FieldRules* rules_ = nullptr;
};

} // namespace tvq52
