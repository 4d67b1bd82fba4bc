#pragma once

namespace tvq52 {

class GraphWindow;
struct ShownUnit;

// The graph window's print: the unit's programming report with the two
// chart pictures, in the preview window.
void printGraphReport(GraphWindow& window, const ShownUnit& unit);

} // namespace tvq52
