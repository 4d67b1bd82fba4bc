#include "reports/gui/graph_report_print.h"

#include "reports/gui/graph_window.h"

namespace tvq52 {

void printGraphReport(GraphWindow&, const ShownUnit&) {}

} // namespace tvq52
