#pragma once

#include "app/prompter.h"

#include <QTextStream>

namespace tvq52 {

// Messages on the terminal. Questions are asked on the terminal when there
// is one; otherwise (scripts, CI) they take the answer that goes ahead (OK,
// Yes) and say so, so that a run never hangs on input nobody can give.
class ConsolePrompter : public Prompter {
public:
    explicit ConsolePrompter(bool interactive);

    Answer message(const Message& message) override;
    std::optional<QString> input(const QString& prompt, const QString& title, const QString& defaultText) override;
    QString openFile(const QString& title, const QStringList& filters, const QString& directory) override;
    QString saveFile(const QString& title, const QStringList& filters, const QString& directory) override;

    // Whether stdin is a terminal a person can answer on.
    static bool stdinIsTerminal();

private:
    std::optional<QString> readLine();

    bool interactive_;
    QTextStream in_;
    QTextStream err_;
};

} // namespace tvq52
