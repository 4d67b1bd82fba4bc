#include "core/own_words.h"

#include "core/message_words.h"

namespace tvq52 {

Error ownWords(QString text, QStringList args, QString detail)
{
    Error error(kOwnWords, std::move(detail));
    error.text = std::move(text);
    error.textArgs = std::move(args);
    return error;
}

Error finalText(QString text)
{
    // The text goes in as an argument, which no translation touches.
    return ownWords(QStringLiteral("%1"), {std::move(text)});
}

QString untranslatedText(const Error& error)
{
    return MessageWords::of(error).shown();
}

} // namespace tvq52
