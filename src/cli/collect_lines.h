#pragma once

#include "cli/collect_summary.h"

#include <QStringList>
#include <functional>

namespace tvq52 {

class Translator;

// One unit of the list as the lines get it: its place, its line in the
// file (for messages) and the text there.
struct CollectItem {
    int index = 0;
    int lineNumber = 0;
    QString text;
};

// The words that pass an item to a worker on its standard input, and back.
QByteArray collectItemLine(const CollectItem& item);
std::optional<CollectItem> collectItemFromLine(const QByteArray& line);

// How the worker of one line is started: this program again, with the
// arguments that name the line's device.
struct LineWorkers {
    QString program;
    std::function<QStringList(const QString& device)> arguments;
};

struct LinesOutcome {
    QList<CollectedUnit> units; // in the list's order
    bool interrupted = false;
};

// Calls the listed units on several lines at once: one worker process per
// device, each given the next unit when it hands back its last one, so
// that a slow unit holds up only its own line. A worker that ends after it
// said it took a unit leaves that unit failed (not called again); one that
// ends before hands it back to the other lines. Either way its line is out
// of the run. Ctrl-C stops every worker's download and the dealing.
// The workers' messages are passed on to standard error a line at a time.
LinesOutcome collectOnLines(const QList<CollectItem>& items, const QStringList& devices, const LineWorkers& workers,
                            const Translator& guru);

} // namespace tvq52
