#pragma once

#include "core/prompter.h"

#include <functional>
#include <utility>

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
    // The last message's catalogue number and arguments when the catalogue
    // text (as `told` fills it) is all that the user was shown: it can be
    // told again in another language. 0 and nothing otherwise.
    std::pair<int, QStringList> lastSource(const std::function<QString(int, const QStringList&)>& told) const
    {
        if (lastId_ > 0 && told(lastId_, lastArguments_) == last_)
            return {lastId_, lastArguments_};
        return {0, {}};
    }
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
