#include "core/own_words.h"

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
    QString text;
    // %1..%9 in one pass, as the translated form fills them.
    for (qsizetype i = 0; i < error.text.size(); ++i) {
        const int n = i + 1 < error.text.size() ? error.text[i + 1].digitValue() : -1;
        if (error.text[i] == QLatin1Char('%') && n >= 1 && n <= error.textArgs.size()) {
            text += error.textArgs[n - 1];
            ++i;
        } else {
            text += error.text[i];
        }
    }
    if (!error.detail.isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral("\n\n")) + error.detail;
    return text;
}

} // namespace tvq52
