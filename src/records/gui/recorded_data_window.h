#pragma once

#include "link/exchange_session.h"
#include "programming/programming_browser.h"
#include "records/records_view.h"
#include "records/shown_unit.h"

#include <QHash>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTableView;

namespace tvq52 {

class Clock;
class Database;
class DownloadWorkflow;
class Line;
class Translator;
class Prompter;
class RecordGridItems;
class UnitSelection;

// The recorded-data window: one unit's downloaded records in five grids, browsed unit by unit,
// and the download from the unit. One instance for the whole run.
class RecordedDataWindow : public QWidget, public RecordsView {
    Q_OBJECT
public:
    // What the window takes from the run.
    struct Needs {
        const Translator& translator;
        Prompter& prompter;
        // The records; null when none are open.
        Database* database = nullptr;
        // The unit shown is the run's current unit for the other windows.
        UnitSelection& unit;
        SessionSource openSession;
        std::function<void()> openHelp;
    };

    explicit RecordedDataWindow(Needs needs, QWidget* parent = nullptr);
    ~RecordedDataWindow() override;

    // The grids in the order of their tabs.
    enum Grid { Intervals, Sessions, BatteryEnds, Erasures, Reprogrammings };
    RecordGridItems* model(Grid grid) const { return models_[grid]; }
    QTableView* view(Grid grid) const { return views_[grid]; }
    const std::optional<ShownUnit>& shownUnit() const { return shown_; }
    QString currentSearchField() const { return searchField_; }

    void previousUnit();
    void nextUnit();
    void searchUnit();
    void sortGrid(Grid grid, int column);
    void download();
    void stop();
    void openGraph();
    void openReport();
    void openJournal();
    // The grid of the current tab as a CSV file.
    void exportCsv();
    // The shown unit's records as an exchange file.
    void exportExchange();

    // What the other windows of the run supply.
    void setProgrammingOpener(std::function<void()> open) { openProgramming_ = std::move(open); }
    void setGraphOpener(std::function<void()> open);
    void setReportOpener(std::function<void()> open);
    // The journal of a unit's exchanges, modal over this window.
    void setJournalOpener(std::function<void(qint32 serial)> open) { openJournal_ = std::move(open); }
    // The line and clock of a download; the session source's unless a test
    // gives others.
    void setLink(Line* line, Clock* clock)
    {
        line_ = line;
        clock_ = clock;
    }
    // The end-of-list beep; tests count it.
    void setBeeper(std::function<void()> beep) { beep_ = std::move(beep); }
    // The range picker runs modally; tests replace it.
    using RangeRunner = std::function<std::optional<DownloadRange>(const DownloadRange& proposal)>;
    void setRangeRunner(RangeRunner run) { rangeRunner_ = std::move(run); }

    // RecordsView
    qint32 shownSerial() const override { return shown_ ? shown_->serial : 0; }
    std::optional<DownloadRange> chooseRange(const DownloadRange& proposal) override;
    // Loads a stored unit into the grids; false when it is not stored.
    bool showUnit(qint32 serial) override;
    void showFirmware(const QString& firmware) override;
    void showTotals(const TotalsReading& totals) override;
    void ToggleButtons() override;
    void downloadStarted() override;
    void downloadProgress(const DownloadProgress& progress) override;
    void downloadFinished() override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Disables what the login may not do, saying why.
    void showRights();
    void buildUi();
    QWidget* buildIdentification();
    QWidget* buildTotals();
    QWidget* buildButtons();
    QWidget* buildProgress();
    void openUnitSet();
    void clearUnit();
    void reloadGrids();
    static void fitColumns(QTableView* view);
    void updateReportButtons();
    void checkDate();
    void focusMoved(QWidget* now);
    bool hasStore() const { return browser_.has_value(); }
    QPushButton* button(const char* name) const;

    Needs needs_;
    Prompter& prompter_;
    std::optional<ProgrammingBrowser> browser_;
    std::optional<ShownUnit> shown_;
    QString searchField_ = QStringLiteral("TextNumeroSerie");
    std::function<void()> openProgramming_;
    // Stop was pressed during the download under way.
    bool stopPressed_ = false;
    QString counts_; // the download's counts so far, without its rate

    std::function<void()> openGraph_;
    std::function<void()> openReport_;
    std::function<void(qint32)> openJournal_;
    std::function<void()> beep_;
    RangeRunner rangeRunner_;
    Line* line_ = nullptr;
    Clock* clock_ = nullptr;
    DownloadWorkflow* workflow_ = nullptr;
    QHash<QPushButton*, bool> buttonsBefore_;
    bool buttonsOff_ = false;
    bool checkingDate_ = false;
    QMetaObject::Connection focusWatch_;

    QLineEdit* serial_ = nullptr;
    QLineEdit* version_ = nullptr;
    QLineEdit* date_ = nullptr;
    QLineEdit* venue_ = nullptr;
    QLineEdit* totalsDate_ = nullptr;
    QLineEdit* totalsTime_ = nullptr;
    QLineEdit* passesVenue_ = nullptr;
    QLineEdit* passesNeighbour_ = nullptr;
    QLineEdit* sensorInactive_ = nullptr;
    QLineEdit* erasures_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    std::array<RecordGridItems*, 5> models_{};
    std::array<QTableView*, 5> views_{};
    QWidget* progress_ = nullptr;
    QLabel* frames_ = nullptr;
    QLabel* progressText_ = nullptr;
};

} // namespace tvq52
