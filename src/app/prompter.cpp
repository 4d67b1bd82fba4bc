#include "app/prompter.h"

#include "i18n/loc_guru.h"

namespace tvq52 {

Answer Prompter::show(const QString& text, MessageStyle style, const QString& title)
{
    return message(Message{text, title, style, 0});
}

Answer showCatalogue(Prompter& prompter, const LocGuru& guru, int id, MessageStyle style,
                     const QStringList& args, const QString& title)
{
    return prompter.message(Message{guru.GetS(id, args), title, style, id});
}

} // namespace tvq52
