#include "cli/console_progress.h"

#include <unistd.h>

namespace tvq52 {

namespace {

// A terminal is written over at most this often: more is only flicker.
constexpr qint64 kRedrawMs = 100;

} // namespace

ConsoleProgress* ConsoleProgress::shownNow_ = nullptr;

ConsoleProgress::ConsoleProgress(bool quiet, std::FILE* out)
    : out_(out), quiet_(quiet), terminal_(::isatty(::fileno(out)) != 0), outer_(shownNow_)
{
    shownNow_ = this;
}

ConsoleProgress::~ConsoleProgress()
{
    finish();
    shownNow_ = outer_;
}

void ConsoleProgress::endLine()
{
    if (shownNow_)
        shownNow_->interrupt();
}

void ConsoleProgress::write(const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), out_);
    std::fflush(out_);
}

void ConsoleProgress::update(const QString& line)
{
    if (quiet_)
        return;
    last_ = line;
    if (!terminal_ || (shown_.isValid() && shown_.elapsed() < kRedrawMs))
        return;
    shown_.start();
    // Back to the line's start, the new state, the rest of the old one cleared.
    write(QStringLiteral("\r") + line + QStringLiteral("\x1b[K"));
    lineOpen_ = true;
}

void ConsoleProgress::interrupt()
{
    // The state shown stays on its line; the next update starts a new one.
    if (lineOpen_) {
        write(QStringLiteral("\n"));
        last_.clear();
    }
    lineOpen_ = false;
    shown_.invalidate();
}

void ConsoleProgress::finish(const QString& summary)
{
    if (quiet_ || last_.isEmpty())
        return;
    const QString line = summary.isEmpty() ? last_ : summary;
    write(terminal_ ? QStringLiteral("\r") + line + QStringLiteral("\x1b[K\n") : line + QLatin1Char('\n'));
    lineOpen_ = false;
    last_.clear();
}

} // namespace tvq52
