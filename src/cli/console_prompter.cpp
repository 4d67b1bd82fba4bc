#include "cli/console_prompter.h"

#include <cstdio>
#include <unistd.h>

namespace tvq52 {

ConsolePrompter::ConsolePrompter(bool interactive) : interactive_(interactive), in_(stdin), err_(stderr) {}

bool ConsolePrompter::stdinIsTerminal()
{
    return ::isatty(STDIN_FILENO) != 0;
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
    const bool okCancel = m.style == MessageStyle::OkCancelInformation || m.style == MessageStyle::OkCancelQuestion;
    const bool yesNo = m.style == MessageStyle::YesNoQuestion;
    const QString prefix = m.style == MessageStyle::Critical ? QStringLiteral("error: ")
                           : m.style == MessageStyle::Exclamation ? QStringLiteral("warning: ")
                                                                 : QString();
    err_ << prefix << m.text;
    if (!okCancel && !yesNo) {
        err_ << Qt::endl;
        return Answer::Ok;
    }
    const Answer go = yesNo ? Answer::Yes : Answer::Ok;
    const Answer stop = yesNo ? Answer::No : Answer::Cancel;
    if (!interactive_) {
        err_ << (yesNo ? " [yes]" : " [OK]") << Qt::endl;
        return go;
    }
    for (;;) {
        err_ << (yesNo ? " [y/n] " : " [Enter = OK, c = Cancel] ") << Qt::flush;
        const auto line = readLine();
        if (!line)
            return stop;
        const QString a = line->toLower();
        if (yesNo ? (a == "y" || a == "yes") : a.isEmpty() || a == "ok" || a == "o")
            return go;
        if (yesNo ? (a == "n" || a == "no") : a == "c" || a == "cancel")
            return stop;
    }
}

std::optional<QString> ConsolePrompter::input(const QString& prompt, const QString& title, const QString& defaultText)
{
    if (!interactive_)
        return defaultText;
    err_ << prompt << " [" << defaultText << "] " << Qt::flush;
    const auto line = readLine();
    if (!line)
        return std::nullopt;
    return line->isEmpty() ? defaultText : *line;
}

QString ConsolePrompter::openFile(const QString& title, const QStringList&, const QString&)
{
    if (!interactive_)
        return {};
    err_ << title << ": " << Qt::flush;
    return readLine().value_or(QString());
}

QString ConsolePrompter::saveFile(const QString& title, const QStringList& filters, const QString& directory)
{
    return openFile(title, filters, directory);
}

} // namespace tvq52
