#include "i18n/catalogue_message.h"

#include "i18n/loc_guru.h"

namespace tvq52 {

Answer showCatalogue(Prompter& prompter, const LocGuru& guru, int id, MessageStyle style, const QStringList& args,
                     const QString& title)
{
    return prompter.message(Message{guru.GetS(id, args), title, style, id, {}});
}

void showError(Prompter& prompter, const LocGuru& guru, const Error& error)
{
    if (error.catalogueId == 0)
        return;
    QString detail = error.detail;
    if (error.detailLabelId != 0)
        detail = guru.GetS(error.detailLabelId).trimmed() + QLatin1Char(' ') + detail;
    QString text = guru.GetS(error.catalogueId);
    if (!detail.isEmpty())
        text += QStringLiteral("\n\n") + detail;
    prompter.message(Message{text, {}, MessageStyle::Critical, error.catalogueId, {}});
}

void showFailure(Prompter& prompter, const LocGuru& guru, const Status& status)
{
    if (!status)
        showError(prompter, guru, status.error());
}

AskCatalogue catalogueAsker(Prompter& prompter, const LocGuru& guru)
{
    return [&prompter, &guru](int id, MessageStyle style) { return showCatalogue(prompter, guru, id, style); };
}

} // namespace tvq52
