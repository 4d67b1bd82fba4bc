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

Answer showCatalogue(Prompter& prompter, const Translator& guru, int id, MessageStyle style, const QStringList& args,
                     const QString& title)
{
    return prompter.message(Message{guru.text(id, args), title, style, id, {}, args});
}

Answer askToSaveEdits(Prompter& prompter, const Translator& guru)
{
    return prompter.message(
        Message{guru.text(msg::SaveChanges), {}, MessageStyle::SaveDiscardCancel, msg::SaveChanges, Answer::Save});
}

QString errorText(const Translator& guru, const Error& error)
{
    QString detail = error.detail;
    if (error.detailLabelId != 0)
        detail = guru.text(error.detailLabelId).trimmed() + QLatin1Char(' ') + detail;
    QString text = error.text.isEmpty()
        ? guru.text(error.catalogueId)
        : fillArgs(Translator::ConvertCrLf(guru.GetTranslation(error.text)), error.textArgs);
    if (!detail.isEmpty())
        text += QStringLiteral("\n\n") + detail;
    return text;
}

void showError(Prompter& prompter, const Translator& guru, const Error& error)
{
    if (error.catalogueId == 0)
        return;
    // An error with its own text shows no catalogue text.
    const int shownId = error.text.isEmpty() ? error.catalogueId : 0;
    prompter.message(Message{errorText(guru, error), {}, MessageStyle::Critical, shownId, {}});
}

void showFailure(Prompter& prompter, const Translator& guru, const Status& status)
{
    if (!status)
        showError(prompter, guru, status.error());
}

AskCatalogue catalogueAsker(Prompter& prompter, const Translator& guru)
{
    return [&prompter, &guru](int id, MessageStyle style) { return showCatalogue(prompter, guru, id, style); };
}

} // namespace tvq52
