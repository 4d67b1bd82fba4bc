#pragma once

#include "programming/programming_record.h"

namespace tvq52 {

// The editable cells of a non-working interval, in grid order.
enum class IntervalCell { StartDay, StartTime, EndDay, EndTime };

// The outcome of typing `text` into one cell: the row as it stands after the
// edit (the former row when rejected) and the catalogue message to show.
struct IntervalEdit {
    bool accepted = false;
    NonWorkingInterval row;
    int messageId = 0;
};

IntervalEdit editInterval(const NonWorkingInterval& row, IntervalCell cell, const QString& text);

} // namespace tvq52
