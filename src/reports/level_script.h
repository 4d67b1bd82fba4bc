#pragma once

#include "reports/report.h"

#include <QString>
#include <memory>
#include <optional>

namespace tvq52 {

class Translator;

// The script that turns a detail row's levels and minute counters into the
// texts printed (LSL1, LByENA, ...): one If block per column, catalogue texts
// in the user's language with any '"' doubled, CR LF after every line.
QString BuildLevelScript(const Translator& translator);

// A parsed level script: If / ElseIf / Else / End If, comparisons, assignment,
// '&' and "" inside strings. A block whose column the row lacks is skipped, so
// one script serves interval and session rows.
class LevelScript {
public:
    static Result<LevelScript> parse(const QString& text);

    LevelScript(LevelScript&&) noexcept;
    LevelScript& operator=(LevelScript&&) noexcept;
    ~LevelScript();

    // Sets the script's variables on `row`.
    Status run(ReportRow& row) const;
    // For ReportPart::setRowHook; the hook shares this script.
    RowHook hook() const;

    struct Program;

private:
    explicit LevelScript(std::shared_ptr<const Program> program);
    std::shared_ptr<const Program> program_;
};

// How a graph point shows a venue level: "---" for no value (-1 or 0), "UND"
// below 60, "UP" above 120, else one decimal. Not the stored under/over value
// of a downloaded record (records' markOutOfRange).
QString levelPointText(double level);
// The neighbour level: "---" for -1, "UP" above 120, else one decimal (the
// unit keeps no under-range mark on that side).
QString neighbourLevelPointText(double level);

} // namespace tvq52
