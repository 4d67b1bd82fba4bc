#pragma once

#include "core/error.h"

namespace tvq52 {

// The catalogue id of an error told in the program's own words: there is no
// catalogue text for it, its `text` says what happened.
inline constexpr int kOwnWords = -1;

// An error in the program's own words (`text`, its %1.. filled from `args`),
// translated where it is shown like any native text.
Error ownWords(QString text, QStringList args = {}, QString detail = {});

// An error whose text is final as it stands: already in the user's
// language, or the system's own words. It is shown without a translation.
Error finalText(QString text);

// The text of an error as written, arguments filled and the detail after it,
// for messages put together where no translation is at hand.
QString untranslatedText(const Error& error);

} // namespace tvq52
