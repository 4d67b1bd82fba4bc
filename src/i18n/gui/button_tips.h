#pragma once

#include "core/error.h"

#include <QString>
#include <optional>

class QWidget;

namespace tvq52 {

class Translator;

// The tip (native text) of a button its window left without one: by the
// window's and the button's names, else by the button's name alone, which
// means the same in every window ("SSCommandHelp"). Empty when unknown.
QString nativeButtonTip(const QString& window, const QString& button);

// Gives each push button of `window` without a tip the one above, in the
// language `translator` shows.
void addButtonTips(QWidget* window, const Translator& translator);

// A control the login may not use: disabled, its tip saying why (`why`'s
// words in the language `translator` shows). Without `why`, a control refused
// before is given back as it was; any other is left alone.
void showRefusal(QWidget* control, const std::optional<Error>& why, const Translator& translator);

} // namespace tvq52
