#include "support/scripted_prompter.h"

namespace tvq52::test {

Answer ScriptedPrompter::message(const Message& message)
{
    shown_ << message;
    if (!answers_.empty()) {
        const Answer a = answers_.front();
        answers_.pop_front();
        return a;
    }
    if (message.defaultAnswer)
        return *message.defaultAnswer;
    return message.style == MessageStyle::YesNoQuestion ? Answer::Yes : Answer::Ok;
}

std::optional<QString> ScriptedPrompter::input(const QString& prompt, const QString& title, const QString& defaultText,
                                               int maxLength)
{
    inputPrompts_ << prompt;
    if (!inputs_.empty()) {
        const bool given = inputs_.front().has_value();
        // Typed into a box that takes no more than maxLength characters.
        QString text = inputs_.front().value_or(QString());
        if (maxLength > 0)
            text.truncate(maxLength);
        inputs_.pop_front();
        return given ? std::optional<QString>(text) : std::nullopt;
    }
    return defaultText;
}

std::optional<QString> ScriptedPrompter::secret(const QString& prompt, const QString&)
{
    secretPrompts_ << prompt;
    if (secrets_.empty())
        return std::nullopt;
    const std::optional<QString> text = secrets_.front();
    secrets_.pop_front();
    return text;
}

QString ScriptedPrompter::openFile(const QString&, const QStringList&, const QString&)
{
    if (files_.empty())
        return {};
    const QString f = files_.front();
    files_.pop_front();
    return f;
}

QString ScriptedPrompter::saveFile(const QString& title, const QStringList& filters, const QString& directory)
{
    return openFile(title, filters, directory);
}

QList<int> ScriptedPrompter::catalogueIds() const
{
    QList<int> ids;
    for (const Message& m : shown_)
        ids << m.catalogueId;
    return ids;
}

} // namespace tvq52::test
