#include "cli/console_prompter.h"

#include "cli/console_progress.h"

#include <algorithm>
#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace tvq52 {

ConsolePrompter::ConsolePrompter(bool terminal, bool assumeYes)
    : terminal_(terminal), assumeYes_(assumeYes), in_(stdin), err_(stderr)
{}

bool ConsolePrompter::stdinIsTerminal()
{
    return ::isatty(STDIN_FILENO) != 0;
}

QString ConsolePrompter::consoleText(const QString& text)
{
    QString plain = text;
    plain.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    while (plain.endsWith(QLatin1Char('\n')))
        plain.chop(1);
    QStringList lines = plain.split(QLatin1Char('\n'));
    qsizetype labelWidth = 0;
    for (const QString& line : lines)
        if (const qsizetype tab = line.indexOf(QLatin1Char('\t')); tab >= 0)
            labelWidth = std::max(labelWidth, line.left(tab).trimmed().size());
    for (QString& line : lines) {
        const qsizetype tab = line.indexOf(QLatin1Char('\t'));
        if (tab >= 0)
            line = line.left(tab).trimmed().leftJustified(labelWidth + 2) + line.mid(tab + 1);
    }
    return lines.join(QLatin1Char('\n'));
}

std::optional<QString> ConsolePrompter::readLine()
{
    QString line;
    if (!in_.readLineInto(&line))
        return std::nullopt;
    return line.trimmed();
}

Answer ConsolePrompter::message(const Message& m)
{
    ConsoleProgress::endLine();
    const bool question = m.style == MessageStyle::OkCancelQuestion || m.style == MessageStyle::YesNoQuestion;
    const bool okCancel = m.style == MessageStyle::OkCancelInformation || m.style == MessageStyle::OkCancelQuestion;
    const bool yesNo = m.style == MessageStyle::YesNoQuestion;
    // Errors and warnings say whose they are, as every refusal of the command line does.
    const bool fault = m.style == MessageStyle::Critical || m.style == MessageStyle::Exclamation;
    const QString prefix = fault ? QStringLiteral("tvq52-cli: ") : QString();
    err_ << prefix << consoleText(m.text);
    if (m.style == MessageStyle::SaveDiscardCancel)
        return askSaveDiscardCancel();
    if (!okCancel && !yesNo) {
        err_ << Qt::endl;
        return Answer::Ok;
    }
    const Answer go = yesNo ? Answer::Yes : Answer::Ok;
    const Answer stop = yesNo ? Answer::No : Answer::Cancel;
    if (assumeYes_ || (!terminal_ && !question)) {
        err_ << (yesNo ? " [yes]" : " [OK]") << Qt::endl;
        return go;
    }
    if (!terminal_) {
        err_ << (yesNo ? " [no]" : " [Cancel]") << " (no terminal to ask on; --yes answers yes)" << Qt::endl;
        return stop;
    }
    const bool enterStops = m.defaultAnswer == stop;
    for (;;) {
        if (yesNo)
            err_ << " [y/n] ";
        else
            err_ << (enterStops ? " [o = OK, Enter = Cancel] " : " [Enter = OK, c = Cancel] ");
        err_ << Qt::flush;
        const auto line = readLine();
        if (!line)
            return stop;
        const QString a = line->toLower();
        if (yesNo ? (a == "y" || a == "yes") : (a.isEmpty() && !enterStops) || a == "ok" || a == "o")
            return go;
        if (yesNo ? (a == "n" || a == "no") : (a.isEmpty() && enterStops) || a == "c" || a == "cancel")
            return stop;
    }
}

Answer ConsolePrompter::askSaveDiscardCancel()
{
    if (assumeYes_) {
        err_ << " [Save]" << Qt::endl;
        return Answer::Save;
    }
    if (!terminal_) {
        err_ << " [Cancel] (no terminal to ask on; --yes saves)" << Qt::endl;
        return Answer::Cancel;
    }
    for (;;) {
        err_ << " [Enter = Save, d = Discard, c = Cancel] " << Qt::flush;
        const auto line = readLine();
        if (!line)
            return Answer::Cancel;
        const QString a = line->toLower();
        if (a.isEmpty() || a == "s" || a == "save")
            return Answer::Save;
        if (a == "d" || a == "discard")
            return Answer::Discard;
        if (a == "c" || a == "cancel")
            return Answer::Cancel;
    }
}

// A typed line cannot be held to a length as it is typed: the caller checks it.
std::optional<QString> ConsolePrompter::input(const QString& prompt, const QString& title, const QString& defaultText,
                                              int)
{
    if (!terminal_ || assumeYes_)
        return defaultText;
    ConsoleProgress::endLine();
    err_ << prompt << " [" << defaultText << "] " << Qt::flush;
    const auto line = readLine();
    if (!line)
        return std::nullopt;
    return line->isEmpty() ? defaultText : *line;
}

std::optional<QString> ConsolePrompter::secret(const QString& prompt, const QString&)
{
    if (!terminal_)
        return std::nullopt;
    err_ << prompt << ' ' << Qt::flush;
    termios saved{};
    const bool quiet = ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (quiet) {
        termios silent = saved;
        silent.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    }
    QString line;
    const bool read = in_.readLineInto(&line);
    if (quiet)
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    err_ << Qt::endl;
    if (!read)
        return std::nullopt;
    return line;
}

QString ConsolePrompter::openFile(const QString& title, const QStringList&, const QString&)
{
    if (!terminal_ || assumeYes_)
        return {};
    err_ << title << ": " << Qt::flush;
    return readLine().value_or(QString());
}

QString ConsolePrompter::saveFile(const QString& title, const QStringList& filters, const QString& directory)
{
    return openFile(title, filters, directory);
}

} // namespace tvq52
