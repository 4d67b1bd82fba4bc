#pragma once

#include "programming/programming_browser.h"
#include "programming/programming_record.h"
#include "programming/programming_view.h"

#include <QHash>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <optional>

class QCheckBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTableView;

namespace tvq52 {

struct AppContext;
class Clock;
class IntervalGridModel;
class Line;
class MonitorWindow;
class Prompter;
struct FieldCheck;

// Form2: shows and edits the programming record of one unit and browses the
// stored records. One instance for the whole run; it shows non-modally.
class ProgrammingWindow : public QWidget, public ProgrammingView {
    Q_OBJECT
public:
    ProgrammingWindow(AppContext& ctx, Prompter& prompter, QWidget* parent = nullptr);
    ~ProgrammingWindow() override;

    static constexpr int kLimitsPage = 3;

    bool isModified() const { return modified_; }
    void setModified(bool modified) override { modified_ = modified; }
    QString currentSearchField() const { return searchField_; }
    QString firmwareVersion() const { return firmwareVersion_; }

    // The record as the fields hold it now.
    ProgrammingRecord recordFromFields() const;

    // New record with the defaults; the seconds boxes and the version-dependent
    // controls stay as they are.
    void CreaProgramacio();
    // Loads a stored unit; false when it is not stored.
    bool CarregaProgramacio(qint32 serial);
    bool GrabaProgramacio();
    // Offers to save a modified record before it is replaced.
    void Modificat() override;

    // The exchanges with the unit (SSCommandRecibir, SSCommandTransmitir) and
    // the real-time monitor (SSCommandRealTime).
    void receiveProgramming();
    void transmitProgramming();
    void openMonitor();
    // The line and clock of the exchanges: the run's line and real time
    // unless a test gives others.
    void setLink(Line* line, Clock* clock) { line_ = line; clock_ = clock; }
    MonitorWindow* monitorWindow() const { return monitor_.get(); }

    // ProgrammingView
    ProgrammingRecord record() const override { return recordFromFields(); }
    ProgIntervals intervals() const override { return intervals_; }
    bool save() override { return GrabaProgramacio(); }
    bool loadStored(qint32 serial) override { return CarregaProgramacio(serial); }
    void showReceived(const ProgrammingRecord& record, const ProgIntervals& intervals,
                      const QString& unitFirmware) override;
    void setVersion(const QString& version) override;
    void ToggleCommandButtons() override;
    void transmissionStarted() override;
    void transmissionProgress(int sent, int total, qint64 msLeft) override;
    void transmissionFinished() override;

    // The week schedule runs modally; tests replace it.
    using WeekScheduleRunner = std::function<std::optional<std::array<SessionHours, 7>>(ProgrammingWindow&)>;
    void setWeekScheduleRunner(WeekScheduleRunner runner) { weekScheduleRunner_ = std::move(runner); }

    void previousRecord();
    void nextRecord();
    void searchRecord();
    void saveRecord();
    void deleteRecord();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    enum class KeyRule { Text, NoBlanks, Serial, Version };

    void buildUi();
    QWidget* buildVenuePage();
    QWidget* buildUnitPage();
    QWidget* buildActionPage();
    QWidget* buildLimitsPage();
    QWidget* buildInsulationPage();
    QWidget* buildIntervalsPage();
    QWidget* buildHeader();
    QWidget* buildButtons();
    QWidget* buildBusyPanel();
    Line& line();
    Clock& clock();
    QLineEdit* addLineEdit(const QString& name, KeyRule rule);

    void openRecordSet();
    void showRecord(const ProgrammingRecord& record, bool keepSeconds);
    void applyFirmware(const QString& version, bool globalCorrection);
    void showClock();
    void runFieldCheck(QLineEdit* field);
    void applyCheck(QLineEdit* field, const FieldCheck& check);
    void openWeekSchedule();
    void edited();
    void focusMoved(QWidget* now);
    void showMessage(int catalogueId);
    bool hasStore() const;

    AppContext& ctx_;
    Prompter& prompter_;
    std::optional<ProgrammingBrowser> browser_;

    bool modified_ = false;
    bool loading_ = false;
    bool refocusing_ = false;
    bool needsOpening_ = true;
    // The window lives for the whole run, so the command-line serial is
    // looked up on its first opening only.
    bool commandLineHonoured_ = false;
    QString searchField_;
    QString searchText_;
    QString firmwareVersion_;
    qint32 shownSerial_ = 0;
    ProgIntervals intervals_;
    WeekScheduleRunner weekScheduleRunner_;

    Line* line_ = nullptr;
    Clock* clock_ = nullptr;
    // Not a child: the programming window is disabled while it is open.
    std::unique_ptr<MonitorWindow> monitor_;
    // Enabled state of the commands while an exchange has them switched off.
    QHash<QPushButton*, bool> commandsBeforeExchange_;
    bool commandsOff_ = false;

    QHash<QObject*, KeyRule> keyRules_;
    QHash<QObject*, std::function<FieldCheck()>> checks_;

    QTabWidget* tabs_ = nullptr;
    QLineEdit* serial_ = nullptr;
    QLineEdit* version_ = nullptr;
    QLineEdit* date_ = nullptr;
    QLineEdit* contact_ = nullptr;
    QLineEdit* venue_ = nullptr;
    QLineEdit* address_ = nullptr;
    QLineEdit* town_ = nullptr;
    QLineEdit* phone_ = nullptr;
    QPlainTextEdit* note_ = nullptr;
    QLineEdit* pcDate_ = nullptr;
    QLineEdit* pcTime_ = nullptr;
    QCheckBox* clockChange_ = nullptr;
    QCheckBox* printing_ = nullptr;
    std::array<QRadioButton*, 6> languages_{};
    QLineEdit* leqTime_ = nullptr;
    QLineEdit* fastLimit_ = nullptr;
    QRadioButton* venueLeq1s_ = nullptr;
    QRadioButton* venueLeq125_ = nullptr;
    QLineEdit* venueSeconds_ = nullptr;
    QRadioButton* neighbourNone_ = nullptr;
    QRadioButton* neighbourLeq125_ = nullptr;
    QRadioButton* neighbourLeq1s_ = nullptr;
    QLineEdit* neighbourSeconds_ = nullptr;
    std::array<std::array<QLineEdit*, 2>, 7> sessions_{};
    QLineEdit* dayVenue_ = nullptr;
    QLineEdit* dayNeighbour_ = nullptr;
    QLineEdit* nightStart_ = nullptr;
    QLineEdit* nightEnd_ = nullptr;
    QLineEdit* dayStart_ = nullptr;
    QLineEdit* dayEnd_ = nullptr;
    QLineEdit* nightVenue_ = nullptr;
    QLineEdit* nightNeighbour_ = nullptr;
    QLineEdit* attenuation_ = nullptr;
    QLineEdit* rings_ = nullptr;
    std::array<QDoubleSpinBox*, kOctaveCount> octaves_{};
    QGroupBox* globalCorrectionFrame_ = nullptr;
    QCheckBox* globalCorrection_ = nullptr;
    QTableView* grid_ = nullptr;
    QWidget* busyPanel_ = nullptr;
    QLabel* busyText_ = nullptr;
    QProgressBar* busyBar_ = nullptr;
    IntervalGridModel* gridModel_ = nullptr;
};

} // namespace tvq52
