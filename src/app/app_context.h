#pragma once

#include "core/unit_selection.h"
#include "db/database.h"
#include "i18n/translator.h"
#include "link/line.h"
#include "link/line_settings.h"

#include <QString>
#include <memory>
#include <optional>

namespace tvq52 {

// What lives for the whole run: the line settings, the unit the windows
// show, the language, the one translation object and the one database
// connection.
struct AppContext {
    explicit AppContext(QString dataFolder) : home(std::move(dataFolder)) {}

    QString home;
    // As start-up and the command line left them; each session copies them.
    LineSettings lineSettings;
    UnitSelection unit;
    QString ReportFooterText;
    int LanguageCodeValue = 3000;
    QString languageName = QStringLiteral("English");
    Translator translator;
    // The data folder's own file while the records are on a server: it keeps
    // this PC's settings row, which is never shared. Null when the records
    // are in that file. Declared before `db`, which points at it.
    std::unique_ptr<Database> localDb;
    // The records: the data folder's file or the office's server.
    std::unique_ptr<Database> db;
    // --database given on the command line: overrides the settings' choice
    // for this run only.
    std::optional<QString> databaseOverride;
    // The password the user gave for the server `passwordFor` names, kept in
    // memory for this run only, so that a window rebuilt (a language change)
    // reconnects without asking again.
    QString password;
    QString passwordFor;
    // The one serial line of the run, created on first use; a modem call
    // left up on it serves the next exchange of any window.
    std::unique_ptr<Line> line;
    QString CommandLineFile;
    QString SelectedFile;

    // Where the settings row lives.
    Database* settingsDb() const { return localDb ? localDb.get() : db.get(); }
};

} // namespace tvq52
