#pragma once

#include "core/prompter.h"

namespace tvq52 {

// Passes everything on to another prompter and keeps the text of the last
// message shown, for the journal's record of what the user was told.
class RecordingPrompter : public Prompter {
public:
    explicit RecordingPrompter(Prompter& inner) : inner_(inner) {}

    Answer message(const Message& message) override
    {
        last_ = message.text;
        return inner_.message(message);
    }
    std::optional<QString> input(const QString& prompt, const QString& title, const QString& defaultText) override
    {
        return inner_.input(prompt, title, defaultText);
    }
    QString openFile(const QString& title, const QStringList& filters, const QString& directory) override
    {
        return inner_.openFile(title, filters, directory);
    }
    QString saveFile(const QString& title, const QStringList& filters, const QString& directory) override
    {
        return inner_.saveFile(title, filters, directory);
    }

    const QString& lastMessage() const { return last_; }
    void clear() { last_.clear(); }

private:
    Prompter& inner_;
    QString last_;
};

} // namespace tvq52
