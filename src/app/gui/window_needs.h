#pragma once

#include "link/exchange_session.h"
#include "programming/gui/programming_window.h"
#include "records/gui/recorded_data_window.h"
#include "reports/gui/graph_report_print.h"
#include "reports/gui/report_window.h"

#include <functional>

namespace tvq52 {

struct AppContext;
class Prompter;

// The windows take only what they use; the shell hands it to them from its
// context. Each callback reads the context when it is called, so it sees the
// settings as they are then.

// The help page of the interface language.
// Opens the manual on `topic`, the page of the window that calls it.
std::function<void()> helpOpener(AppContext& ctx, Prompter& prompter, const QString& topic);
// Sessions on the run's line and link settings.
SessionSource sessionSource(AppContext& ctx);

ProgrammingWindow::Needs programmingWindowNeeds(AppContext& ctx, Prompter& prompter);
RecordedDataWindow::Needs recordedDataWindowNeeds(AppContext& ctx, Prompter& prompter);
ReportWindow::Needs reportWindowNeeds(AppContext& ctx, Prompter& prompter);
GraphReportNeeds graphReportNeeds(AppContext& ctx, Prompter& prompter);

} // namespace tvq52
