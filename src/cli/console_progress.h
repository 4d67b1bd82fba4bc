#pragma once

#include <QElapsedTimer>
#include <QString>
#include <cstdio>

namespace tvq52 {

// The progress of a long run on standard error. On a terminal it is one
// line written over as the run goes on; into a pipe or a log only the last
// state is written, once, as the run's summary line; with --quiet nothing.
class ConsoleProgress {
public:
    explicit ConsoleProgress(bool quiet, std::FILE* out = stderr);
    ~ConsoleProgress();
    ConsoleProgress(const ConsoleProgress&) = delete;
    ConsoleProgress& operator=(const ConsoleProgress&) = delete;

    void update(const QString& line);
    // Ends the line on a terminal, or writes the last state elsewhere;
    // `summary`, when given, in place of the last state. Nothing when there
    // was no progress to show.
    void finish(const QString& summary = {});
    // Messages between updates go on a line of their own.
    void interrupt();
    // Ends the line of the progress being shown, if any, before a message.
    static void endLine();

private:
    void write(const QString& text);

    std::FILE* out_;
    bool quiet_;
    bool terminal_;
    bool lineOpen_ = false; // a progress line is on the terminal, not yet ended
    QString last_;
    QElapsedTimer shown_;
    ConsoleProgress* outer_; // the one shown before this one began
    static ConsoleProgress* shownNow_;
};

} // namespace tvq52
