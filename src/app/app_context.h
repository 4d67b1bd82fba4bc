#pragma once

#include "db/database.h"
#include "i18n/loc_guru.h"
#include "link/line.h"
#include "link/link_state.h"

#include <QString>
#include <memory>

namespace tvq52 {

// What lives for the whole run: the line settings, the language, the one
// translation object and the one database connection.
struct AppContext {
    explicit AppContext(QString dataFolder) : home(std::move(dataFolder)) {}

    QString home;
    LinkState link;
    QString ReportFooterText;
    int LanguageCodeValue = 3000;
    QString languageName = QStringLiteral("English");
    LocGuru guru;
    std::unique_ptr<Database> db;
    // The one serial line of the run, created on first use; a modem call
    // left up on it serves the next exchange of any window.
    std::unique_ptr<Line> line;
    QString CommandLineFile;
    QString SelectedFile;
};

} // namespace tvq52
