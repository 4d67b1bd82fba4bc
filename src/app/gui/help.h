#pragma once

#include <QString>

namespace tvq52 {

struct AppContext;
class Prompter;

// Opens the manual's page on `topic` ("index", "records"...) in the
// interface language, in the program's own help window. Every window's help
// button (and so F1) calls this with the page of that window.
void openHelp(const AppContext& ctx, Prompter& prompter, const QString& topic = QStringLiteral("index"));

} // namespace tvq52
