#pragma once

#include <QString>

namespace tvq52 {

class Database;
class GraphWindow;
class Translator;
class Prompter;
struct ShownUnit;

// What the graph report is printed from, as the run has it at the click.
struct GraphReportNeeds {
    const Translator& translator;
    Prompter& prompter;
    // The records; nothing is printed when null.
    Database* database = nullptr;
    QString assetFolder;
    QString footerText;
};

// The graph window's print: the graph report with the window's two charts,
// in the preview window; an error is shown once.
void printGraphReport(const GraphReportNeeds& needs, GraphWindow& window, const ShownUnit& unit);

} // namespace tvq52
