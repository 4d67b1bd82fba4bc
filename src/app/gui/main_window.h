#pragma once

#include "app/startup.h"

#include <QPointer>
#include <QWidget>

class QDragEnterEvent;
class QDropEvent;
class QFrame;
class QMenu;
class QMenuBar;
class QStatusBar;
class QGridLayout;
class QLabel;
class QPushButton;

namespace tvq52 {

struct AppContext;
class ProgrammingWindow;
class RecordedDataWindow;
class FleetView;
class ReportWindow;
class GraphWindow;
class CollectWindow;
class Prompter;

// The main menu: the first window of the run; loading it brings the
// program up and unloading it writes the settings row and closes the database.
class MainWindow : public QWidget, public StartupHost {
    Q_OBJECT
public:
    MainWindow(AppContext& ctx, Prompter& prompter, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Runs the start-up sequence and shows the window.
    void load(const QString& commandLine);
    // Writes the settings row and closes the database; safe to call twice.
    // Closes the windows opened from here; false when one stays open.
    bool closeChildWindows();
    void unload();

    QPushButton* button(const char* objectName) const;
    // The worker each line of a collect round runs: the command-line program
    // beside this one, unless a test gives its own.
    void setCollectProgram(const QString& program) { collectProgram_ = program; }
    CollectWindow* collectWindow() const;
    // The office's units under the buttons.
    FleetView* fleetView() const { return fleet_; }
    // Room for the overview's columns, within the small screen.
    QSize sizeHint() const override;

    // What a later start handed over, as on the command line: an exchange
    // file is imported, anything else taken as a serial number: the
    // programming window shows that unit, or the current one when none such
    // is stored. Empty only brings the window forward. Waits while a dialog
    // is open.
    void openArgument(const QString& argument);
    // An exchange file is imported and a database merged; other files are
    // told why they cannot be opened. The file joins the recent files.
    void openFile(const QString& path);

    // StartupHost
    void setCaption(const QString& title) override;
    void languageChosen(int code) override;
    bool isSmallFontsScreen() override;
    void translateMainWindow() override;
    void showMainWindow() override;
    void setImportPanelVisible(bool visible) override;
    bool mergeDatabase(const QString& source) override;
    void openImportWindow() override;
    void openProgrammingWindow() override;
    std::optional<DatabaseTarget> chooseDatabase(const QString& why) override;

signals:
    void exitRequested();
    void reloadRequested();
    void programmingClosed();
    // A merge has reached the table at `index` of `count`; the panel shows it.
    void mergeProgressed(int index, int count);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QLabel* buildTitle();
    QStatusBar* buildStatusBar();
    // The database, the line, and the newest download, in the language shown.
    void updateStatus();
    void buildMenus();
    QGridLayout* buildButtons();
    QFrame* buildImportPanel();
    FleetView* buildFleetView();
    // What the overview opens for one unit.
    void showUnitRecords(qint32 serial);
    void showUnitProgramming(qint32 serial);
    void downloadUnit(qint32 serial);
    // Every unit of the data folder's collect.list called on the collect lines.
    void collectNow();
    void refreshFleet();
    void connectButtons();
    QPushButton* addButton(const char* objectName, const QString& text, const QString& toolTip, int icon);
    void showCommunicationDialog();
    void showSigningDialog();
    // Local file or office server; reopens the records on the new choice.
    void showDatabaseDialog();
    void showLanguageDialog();
    void askFooterText();
    void showHelp();
    ProgrammingWindow* programmingWindow();
    RecordedDataWindow* recordedDataWindow();
    void openGraphWindow();
    void showProgrammingWindow();
    void showRecordedDataWindow();
    // SSCommand1: a database to merge or an exchange file to import.
    void openFileButton();
    void openChosenFile(const QString& path, int kind);
    // The recent files' menu, built each time it opens: files since gone
    // are left out.
    void fillRecentMenu();
    void rememberFile(const QString& path);

    AppContext& ctx_;
    Prompter& prompter_;
    QFrame* importPanel_ = nullptr;
    QLabel* panelProgress_ = nullptr;
    QPushButton* mergeStop_ = nullptr;
    bool mergeStopped_ = false;
    bool merging_ = false;
    QLabel* title_ = nullptr;
    QMenu* recentMenu_ = nullptr;
    QMenuBar* menuBar_ = nullptr;
    QStatusBar* statusBar_ = nullptr;
    QLabel* databaseStatus_ = nullptr;
    QLabel* lineStatus_ = nullptr;
    QLabel* downloadStatus_ = nullptr;
    FleetView* fleet_ = nullptr;
    bool loaded_ = false;
    bool unloaded_ = false;
    // One instance for the run of this main window; a language reload makes a new one.
    QPointer<ProgrammingWindow> programming_;
    QPointer<RecordedDataWindow> recordedData_;
    QPointer<ReportWindow> report_;
    QPointer<GraphWindow> graph_;
    QPointer<CollectWindow> collect_;
    QString collectProgram_;
};

} // namespace tvq52
