#pragma once

#include "link/exchange_session.h"
#include "reports/report.h"

#include "programming/field_checks.h"
#include "programming/programming_block.h"
#include "programming/programming_browser.h"
#include "programming/programming_record.h"
#include "programming/programming_store.h"
#include "programming/programming_view.h"

#include <QHash>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTabWidget;

namespace tvq52 {

class Clock;
class Database;
class IntervalGridModel;
class Line;
class Translator;
class Prompter;
class UnitSelection;
class ActionPage;
class FieldRules;
class InsulationPage;
class IntervalsPage;
class LimitsPage;
class RecordHeader;
class UnitPage;
class VenuePage;
struct FieldCheck;

// The programming window: shows and edits the programming record of one unit and browses the
// stored records. One instance for the whole run; it shows non-modally.
class ProgrammingWindow : public QWidget, public ProgrammingView {
    Q_OBJECT
public:
    // What the window takes from the run.
    struct Needs {
        const Translator& translator;
        Prompter& prompter;
        // The records; null when none are open.
        Database* database = nullptr;
        // The unit last identified or loaded, shared with the other windows.
        UnitSelection& unit;
        SessionSource openSession;
        // The program's argument: a serial looked up on the first opening.
        QString commandLineArgument;
        // Read when a report is printed.
        std::function<QString()> footerText;
        std::function<QString()> assetFolder;
        std::function<void()> openHelp;
        // The other windows this one leads to, opened by the shell: the live
        // monitor of a unit over this window (modal, on the sessions given),
        // and the preview of a laid-out report.
        // Runs the monitor over `over`; the session it ran on, null when none was opened.
        std::function<const ExchangeSession*(QWidget* over, SessionSource sessions, const QString& phone, qint32 serial)>
            openMonitor;
        std::function<void(const RenderedReport& report, const QString& fileStem, QWidget* over)> openPreview;
    };

    explicit ProgrammingWindow(Needs needs, QWidget* parent = nullptr);
    ~ProgrammingWindow() override;

    static constexpr int kLimitsPage = 3;

    bool isModified() const { return modified_; }
    void setModified(bool modified) override { modified_ = modified; }
    QString currentSearchField() const { return searchField_; }
    QString firmwareVersion() const { return firmwareVersion_; }

    // The record as the fields hold it now.
    ProgrammingRecord recordFromFields() const;

    // A new record with the defaults (defaultProgramming); the seconds boxes and
    // the version-dependent controls stay as they are.
    void showNewRecord();
    // Offers to save a modified record before it is replaced.
    bool offerToSaveChanges() override;

    // The exchanges with the unit (SSCommandRecibir, SSCommandTransmitir) and
    // the real-time monitor (SSCommandRealTime).
    void receiveProgramming();
    void transmitProgramming();
    void openMonitor();
    // The line and clock of the exchanges: those of the session source
    // unless a test gives others.
    void setLink(Line* line, Clock* clock)
    {
        line_ = line;
        clock_ = clock;
    }
    // The recorded-data window of the run, which the main window owns, on
    // the unit this window shows (0: none stored).
    void setRecordedDataOpener(std::function<void(qint32 serial)> open);
    // The stored unit a program argument names, as on the command line.
    std::optional<qint32> commandLineSerial(const QString& argument) const;

    // ProgrammingView
    ProgrammingRecord record() const override { return recordFromFields(); }
    ProgIntervals intervals() const override { return intervals_; }
    bool checkAllFields() override;
    bool save() override;
    // Loads a stored unit; false when it is not stored.
    bool loadStored(qint32 serial) override;
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
    void printReport();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Disables what the login may not do, saying why.
    void showRights();
    void buildUi();
    QWidget* buildButtons();
    QWidget* buildBusyPanel();
    std::unique_ptr<ExchangeSession> openSession();
    // A unit that answered and is not the one loaded becomes the current unit.
    void keepIdentifiedUnit(const ExchangeSession& session);

    void openRecordSet();
    void showRecord(const ProgrammingRecord& record, bool keepSeconds);
    void applyFirmware(const QString& version, bool globalCorrection);
    FieldTexts fieldTexts() const;
    void checkOnLeaving(QLineEdit* field);
    void applyCheck(QLineEdit* field, const FieldCheck& check);
    void openWeekSchedule();
    void edited();
    void focusMoved(QWidget* now);
    void showMessage(int catalogueId);
    bool hasStore() const;

    Needs needs_;
    Prompter& prompter_;
    std::optional<ProgrammingBrowser> browser_;

    bool modified_ = false;
    bool loading_ = false;
    bool needsOpening_ = true;
    // The window lives for the whole run, so the command-line serial is
    // looked up on its first opening only.
    bool commandLineHonoured_ = false;
    QString searchField_;
    QString searchText_;
    QString firmwareVersion_;
    qint32 shownSerial_ = 0;
    // The stored row the shown record stands on, to catch another PC's save.
    LoadedProgramming loaded_;
    ProgIntervals intervals_;
    // The last programming reply, kept for the whole run: a reply overwrites
    // only what it carries.
    ReceivedProgramming received_;
    WeekScheduleRunner weekScheduleRunner_;
    std::function<void(qint32)> openRecordedData_;

    Line* line_ = nullptr;
    Clock* clock_ = nullptr;
    // Enabled state of the commands while an exchange has them switched off.
    QHash<QPushButton*, bool> commandsBeforeExchange_;
    bool commandsOff_ = false;

    QMetaObject::Connection focusWatch_;
    FieldRules* rules_ = nullptr;
    QHash<QLineEdit*, QWidget*> pageOf_;
    QTabWidget* tabs_ = nullptr;
    RecordHeader* header_ = nullptr;
    VenuePage* venuePage_ = nullptr;
    UnitPage* unitPage_ = nullptr;
    ActionPage* actionPage_ = nullptr;
    LimitsPage* limitsPage_ = nullptr;
    InsulationPage* insulationPage_ = nullptr;
    IntervalsPage* intervalsPage_ = nullptr;
    QStackedWidget* bottom_ = nullptr;
    QWidget* busyPanel_ = nullptr;
    QLabel* busyText_ = nullptr;
    QProgressBar* busyBar_ = nullptr;
};

} // namespace tvq52
