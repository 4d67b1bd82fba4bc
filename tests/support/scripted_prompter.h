#pragma once

#include "core/prompter.h"
#include "support/printers.h"

#include <QList>
#include <deque>

namespace tvq52::test {

// A Prompter that answers from a script and keeps everything it was shown.
// With no scripted answer left, messages take their default answer, as
// Enter would (Ok, or Yes for Yes/No questions, unless the message names
// another), and inputs answer their default text.
class ScriptedPrompter : public Prompter {
public:
    Answer message(const Message& message) override;
    std::optional<QString> input(const QString& prompt, const QString& title, const QString& defaultText,
                                 int maxLength = 0) override;
    // Answers from its own script; with none left, cancels.
    std::optional<QString> secret(const QString& prompt, const QString& title) override;
    QString openFile(const QString& title, const QStringList& filters, const QString& directory) override;
    QString saveFile(const QString& title, const QStringList& filters, const QString& directory) override;

    void answer(Answer a) { answers_.push_back(a); }
    void inputAnswer(std::optional<QString> text) { inputs_.push_back(std::move(text)); }
    void fileAnswer(const QString& path) { files_.push_back(path); }
    void secretAnswer(std::optional<QString> text) { secrets_.push_back(std::move(text)); }
    QStringList secretPrompts() const { return secretPrompts_; }

    const QList<Message>& shown() const { return shown_; }
    QList<int> catalogueIds() const;
    QStringList inputPrompts() const { return inputPrompts_; }
    void clear()
    {
        shown_.clear();
        inputPrompts_.clear();
    }

private:
    std::deque<Answer> answers_;
    std::deque<std::optional<QString>> inputs_;
    std::deque<QString> files_;
    std::deque<std::optional<QString>> secrets_;
    QStringList secretPrompts_;
    QList<Message> shown_;
    QStringList inputPrompts_;
};

} // namespace tvq52::test
