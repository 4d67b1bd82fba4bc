#include "i18n/catalogue_message.h"

#include "core/catalogue_ids.h"
#include "i18n/translator.h"

namespace tvq52 {

namespace {

// Fills %1..%9 in one pass, so an argument holding "%2" stays as it is.
QString fillArgs(const QString& text, const QStringList& args)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int n = i + 1 < text.size() ? text[i + 1].digitValue() : -1;
        if (text[i] == QLatin1Char('%') && n >= 1 && n <= args.size()) {
            out += args[n - 1];
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

Answer showCatalogue(Prompter& prompter, const Translator& translator, int id, MessageStyle style, const QStringList& args,
                     const QString& title)
{
    return prompter.message(Message{translator.text(id, args), title, style, id, {}, args});
}

Answer askToSaveEdits(Prompter& prompter, const Translator& translator)
{
    return prompter.message(
        Message{translator.text(msg::SaveChanges), {}, MessageStyle::SaveDiscardCancel, msg::SaveChanges, Answer::Save});
}

QString errorText(const Translator& translator, const Error& error)
{
    QString detail = error.detail;
    if (error.detailLabelId != 0)
        detail = translator.text(error.detailLabelId).trimmed() + QLatin1Char(' ') + detail;
    QString text = error.text.isEmpty()
        ? translator.text(error.catalogueId)
        : fillArgs(Translator::convertLineBreaks(translator.translate(error.text)), error.textArgs);
    if (!detail.isEmpty())
        text += QStringLiteral("\n\n") + detail;
    return text;
}

void showError(Prompter& prompter, const Translator& translator, const Error& error)
{
    if (error.catalogueId == 0)
        return;
    // An error with its own text shows no catalogue text.
    const int shownId = error.text.isEmpty() ? error.catalogueId : 0;
    prompter.message(Message{errorText(translator, error), {}, MessageStyle::Critical, shownId, {}});
}

void showFailure(Prompter& prompter, const Translator& translator, const Status& status)
{
    if (!status)
        showError(prompter, translator, status.error());
}

AskCatalogue catalogueAsker(Prompter& prompter, const Translator& translator)
{
    return [&prompter, &translator](int id, MessageStyle style) { return showCatalogue(prompter, translator, id, style); };
}

} // namespace tvq52
