#pragma once

#include "programming/programming_record.h"

#include <QWidget>
#include <functional>

class QTableView;

namespace tvq52 {

class FieldRules;
class IntervalGridModel;

// The 30 non-working intervals of the record, edited in a grid over the
// window's `intervals`.
class IntervalsPage : public QWidget {
    Q_OBJECT
public:
    IntervalsPage(ProgIntervals& intervals, FieldRules& rules, std::function<void(int)> showMessage, QWidget* parent);

    // After the window's intervals were replaced.
    void reload();

    QTableView* grid = nullptr;
    IntervalGridModel* model = nullptr;
};

} // namespace tvq52
