#pragma once

#include <QString>

class QWidget;

namespace tvq52 {

struct AppContext;
class Prompter;

// Imports the exchange file at `path` into the run's database, showing the
// import window (Form16) modally with its progress and, at the end, its
// summary. Errors go through `prompter`.
void openExchangeImport(AppContext& ctx, Prompter& prompter, const QString& path, QWidget* parent);

} // namespace tvq52
