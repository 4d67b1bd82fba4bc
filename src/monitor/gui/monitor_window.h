#pragma once

#include "link/exchange_session.h"
#include "monitor/monitor_run.h"

#include <QDialog>
#include <functional>
#include <memory>

class QChartView;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QLineSeries;
class QProgressBar;
class QPushButton;
class QValueAxis;

namespace tvq52 {

class Translator;
class Prompter;

// The monitor window: the live level, attenuation and alarm states of the unit whose
// record the programming window shows, with a strip chart of the last minutes.
class MonitorWindow : public QDialog, public MonitorView {
    Q_OBJECT
public:
    static constexpr int kChartSeconds = 300;

    // Each run asks `openSession` for its exchange session; the help button
    // calls `openHelp`.
    MonitorWindow(const Translator& translator, Prompter& prompter, SessionSource openSession,
                  std::function<void()> openHelp = {}, QWidget* parent = nullptr);
    ~MonitorWindow() override;

    // Shows the window modally for the unit `serial`, dialled at `phone`,
    // at the top-right of `owner`.
    void runFor(QWidget* owner, const QString& phone, qint32 serial);

    void run();
    void stop();
    RealTimeMonitor* monitor() const { return monitor_.get(); }
    // The session of the last runFor(), null before the first.
    const ExchangeSession* session() const { return exchange_.get(); }

    // MonitorView
    void runStarted() override;
    void showReading(const RealTimeReading& reading) override;
    void runEnded() override;
    void closeWindow() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void buildUi();
    // Date, time and period, the level and the attenuation.
    QGridLayout* buildReadings();
    QHBoxLayout* buildAlarms();
    // The strip chart of the last minutes.
    QChartView* buildChart();
    QHBoxLayout* buildButtons();
    void resetDisplay();
    void showTimeRange(double at);

    const Translator& translator_;
    Prompter& prompter_;
    SessionSource openSession_;
    std::function<void()> openHelp_;
    QString phone_;
    qint32 serial_ = 0;
    std::unique_ptr<ExchangeSession> exchange_;
    std::unique_ptr<RealTimeMonitor> monitor_;
    qint64 chartStartMs_ = -1;

    QLabel* date_ = nullptr;
    QLabel* time_ = nullptr;
    QLabel* session_ = nullptr;
    QLabel* period_ = nullptr;
    QLabel* level_ = nullptr;
    QLabel* attenuation_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QLabel* mains_ = nullptr;
    QLabel* sensor_ = nullptr;
    QLabel* nonWorking_ = nullptr;
    QPushButton* run_ = nullptr;
    QPushButton* stop_ = nullptr;
    QPushButton* exit_ = nullptr;
    QPushButton* help_ = nullptr;
    QChartView* chart_ = nullptr;
    QLineSeries* levelSeries_ = nullptr;
    QLineSeries* attenuationSeries_ = nullptr;
    QValueAxis* timeAxis_ = nullptr;
};

} // namespace tvq52
