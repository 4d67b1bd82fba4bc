#include "core/prompter.h"

namespace tvq52 {

Answer Prompter::show(const QString& text, MessageStyle style, const QString& title)
{
    return message(Message{text, title, style, 0, {}});
}

} // namespace tvq52
