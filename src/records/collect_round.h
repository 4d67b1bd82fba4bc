#pragma once

#include "core/error.h"
#include "records/collect_summary.h"

#include <QHash>
#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

class QIODevice;

namespace tvq52 {

// One unit of the list as the lines get it: its place, its line in the
// file (for messages) and the text there.
struct CollectItem {
    int index = 0;
    int lineNumber = 0;
    QString text;
};

// The units a list names, one a line; blank lines and # comments left out.
// A garbled line is cut short and its control characters replaced, so that
// it can be shown.
QList<CollectItem> readCollectList(QIODevice& list);
// The serial number a list's line names: a positive whole number.
std::optional<qint32> listedSerial(const QString& text);

// The words that pass an item to a worker on its standard input, and back.
QByteArray collectItemLine(const CollectItem& item);
std::optional<CollectItem> collectItemFromLine(const QByteArray& line);

// How the worker of one line is started: `tvq52-cli collect --worker`, with
// the arguments that name the line's device.
struct LineWorkers {
    QString program;
    std::function<QStringList(const QString& device)> arguments;
    // Added to this process's environment for them.
    QHash<QString, QString> environment = {};
};

struct LinesOutcome {
    QList<CollectedUnit> units; // in the list's order
    bool stopped = false;
};

// Calls the listed units on one or more lines at once: one worker process
// per device, each given the next unit when it hands back its last one, so
// that a slow unit holds up only its own line. A worker that ends after it
// said it took a unit leaves that unit failed (not called again); one that
// ends before hands it back to the other lines. Either way its line is out
// of the run. Stop tells every worker to stop its download, as Ctrl-C does:
// what each stored stays, and a unit not yet dealt is left out.
class CollectRound : public QObject {
    Q_OBJECT
public:
    CollectRound(QList<CollectItem> items, QStringList devices, LineWorkers workers, QObject* parent = nullptr);
    ~CollectRound() override;

    // Starts the lines and returns; `finished` comes when the last one ends.
    void start();
    // Starts the lines and waits for the round's end.
    LinesOutcome run();
    void stop();
    bool isRunning() const { return started_ && !done_; }
    const LinesOutcome& outcome() const { return outcome_; }

    struct Line;

signals:
    // A line's worker began the call of the unit at `index`.
    void unitTaken(int index, const QString& device);
    void unitDone(const tvq52::CollectedUnit& unit);
    // A line of what a worker wrote to its standard error, or anything it
    // wrote that is no answer.
    void workerSaid(const QString& line);
    // The round's own fault: a line that ended while it held a unit.
    void failed(const tvq52::Error& error);
    void finished();

private:
    int running() const;
    void give(Line& w);
    void read(Line& w);
    void ended(Line& w);
    void say(QList<QByteArray> lines);
    void finish();

    QList<CollectItem> items_;
    QStringList devices_;
    LineWorkers how_;
    std::vector<std::unique_ptr<Line>> lines_;
    LinesOutcome outcome_;
    QList<CollectItem> returned_; // units of lines that ended before they began them
    qsizetype next_ = 0;
    bool started_ = false, launching_ = false, done_ = false;
    // A line's worker said it was stopped: the signal reached the group
    // before it reached this process, and nothing more is dealt.
    bool workerStopped_ = false;
};

} // namespace tvq52
