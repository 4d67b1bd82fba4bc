#pragma once

#include "programming/programming_browser.h"
#include "programming/programming_record.h"

#include <QHash>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>

class QCheckBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTableView;

namespace tvq52 {

struct AppContext;
class IntervalGridModel;
class Prompter;
struct FieldCheck;

// Form2: shows and edits the programming record of one unit and browses the
// stored records. One instance for the whole run; it shows non-modally.
class ProgrammingWindow : public QWidget {
    Q_OBJECT
public:
    ProgrammingWindow(AppContext& ctx, Prompter& prompter, QWidget* parent = nullptr);
    ~ProgrammingWindow() override;

    static constexpr int kLimitsPage = 3;

    bool isModified() const { return modified_; }
    void setModified(bool modified) { modified_ = modified; }
    QString currentSearchField() const { return searchField_; }
    QString firmwareVersion() const { return firmwareVersion_; }
    const ProgIntervals& intervals() const { return intervals_; }

    // The record as the fields hold it now.
    ProgrammingRecord recordFromFields() const;

    // New record with the defaults; the seconds boxes and the version-dependent
    // controls stay as they are.
    void CreaProgramacio();
    // Loads a stored unit; false when it is not stored.
    bool CarregaProgramacio(qint32 serial);
    bool GrabaProgramacio();
    // Offers to save a modified record before it is replaced.
    void Modificat();

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
    IntervalGridModel* gridModel_ = nullptr;
};

} // namespace tvq52
