#pragma once

#include "core/prompter.h"

namespace tvq52 {

// Passes everything on and keeps the text of the last thing the user was
// told (not asked: a closing "hang up?" is no outcome), for the journal.
class RecordingPrompter : public ForwardingPrompter {
public:
    using ForwardingPrompter::ForwardingPrompter;

    Answer message(const Message& message) override
    {
        switch (message.style) {
        case MessageStyle::Plain:
        case MessageStyle::Critical:
        case MessageStyle::Information:
        case MessageStyle::Exclamation:
            last_ = message.text;
            lastId_ = message.catalogueId;
            lastArguments_ = message.arguments;
            break;
        default:
            break;
        }
        return ForwardingPrompter::message(message);
    }

    const QString& lastMessage() const { return last_; }
    // Its catalogue text and arguments (0 when it was none).
    int lastCatalogueId() const { return lastId_; }
    const QStringList& lastArguments() const { return lastArguments_; }
    void clear()
    {
        last_.clear();
        lastId_ = 0;
        lastArguments_.clear();
    }

private:
    QString last_;
    int lastId_ = 0;
    QStringList lastArguments_;
};

} // namespace tvq52
