#pragma once

#include <QString>
#include <optional>

#include "core/application_info.h"
#include "db/database_target.h"

namespace tvq52 {

struct AppContext;
class Prompter;

// What start-up needs from the main window. The GUI implements it with real
// windows; tests with a recorder.
class StartupHost {
public:
    virtual ~StartupHost() = default;
    virtual void setCaption(const QString& title) = 0;
    // The interface language is known (LanguageCodeValue): what the host
    // shows from here on, its own dialogs included, speaks it.
    virtual void languageChosen(int code) { (void)code; }
    virtual bool isSmallFontsScreen() = 0;
    virtual void translateMainWindow() = 0;
    virtual void showMainWindow() = 0;
    virtual void setImportPanelVisible(bool visible) = 0;
    // Merges the records of `source` into the program's database and tells
    // the user how it went. True when every table was read (refused rows
    // included); false when the file is not a database of this program or a
    // table could not be read.
    virtual bool mergeDatabase(const QString& source) = 0;
    virtual void openImportWindow() = 0;
    virtual void openProgrammingWindow() = 0;
    // The records could not be opened (`why` has been shown): lets the user
    // choose another database or the data folder's file, and keeps the choice.
    // Nothing when the user gives up.
    virtual std::optional<DatabaseTarget> chooseDatabase(const QString& why)
    {
        (void)why;
        return std::nullopt;
    }
};

// The start-up sequence of the main window, from resetting the link flags to
// showing the window. A fault in any step is shown once as a critical message
// and ends the sequence early; the main window is shown then too. False, with
// nothing shown, when the user gave up on reaching the records: the run ends.
bool runStartup(AppContext& ctx, Prompter& prompter, StartupHost& host, const QString& commandLine);

// The last step of start-up, also for a file handed over later: the
// context's CommandLineFile, an exchange file, goes to the import window;
// anything else is a serial number for the programming window.
void openCommandLineFile(AppContext& ctx, StartupHost& host);

} // namespace tvq52
