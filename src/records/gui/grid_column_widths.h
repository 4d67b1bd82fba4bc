#pragma once

class QTableView;

namespace tvq52 {

class RecordGridModel;

// Sizes every column of a record grid for the widest text its format can
// show and for every line of its heading, in the view's own fonts: the width
// is the same whatever rows the grid holds, and no row is read to find it.
void fitGridColumns(QTableView& view, const RecordGridModel& model);

// The width fitGridColumns gives `column`, in pixels.
int gridColumnWidth(const QTableView& view, const RecordGridModel& model, int column);

} // namespace tvq52
