#pragma once

#include "core/prompter.h"

#include <QTextStream>

namespace tvq52 {

// Messages on the terminal. Questions are asked on the terminal when there
// is one. Otherwise (scripts, CI) a question takes its safe answer (No,
// Cancel), so nothing is replaced or deleted unasked, unless the user gave
// --yes; an instruction such as "connect the cable and press OK" goes ahead.
// Either way the run never hangs on input nobody can give.
class ConsolePrompter : public Prompter {
public:
    ConsolePrompter(bool terminal, bool assumeYes);

    Answer message(const Message& message) override;
    std::optional<QString> input(const QString& prompt, const QString& title, const QString& defaultText,
                                 int maxLength = 0) override;
    // Asked only on a terminal, with echo off; --yes cannot answer it.
    std::optional<QString> secret(const QString& prompt, const QString& title) override;
    QString openFile(const QString& title, const QStringList& filters, const QString& directory) override;
    QString saveFile(const QString& title, const QStringList& filters, const QString& directory) override;

    // Whether stdin is a terminal a person can answer on.
    static bool stdinIsTerminal();
    // A message's text as lines for the terminal: carriage returns become
    // line breaks and tab-separated listings line up in columns.
    static QString consoleText(const QString& text);

private:
    std::optional<QString> readLine();
    // The unsaved-edits question: --yes saves; with nobody to ask the edits
    // stay as they are (Cancel).
    Answer askSaveDiscardCancel();

    bool terminal_;
    bool assumeYes_;
    QTextStream in_;
    QTextStream err_;
};

} // namespace tvq52
