#pragma once

namespace tvq52 {

struct AppContext;
class GraphWindow;
class Prompter;
struct ShownUnit;

// The graph window's print: the graph report with the window's two charts,
// in the preview window; an error is shown once.
void printGraphReport(AppContext& ctx, Prompter& prompter, GraphWindow& window, const ShownUnit& unit);

} // namespace tvq52
