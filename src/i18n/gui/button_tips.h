#pragma once

#include <QString>

class QWidget;

namespace tvq52 {

class Translator;

// The tip (native text) of a button its window left without one: by the
// window's and the button's names, else by the button's name alone, which
// means the same in every window ("SSCommandHelp"). Empty when unknown.
QString nativeButtonTip(const QString& window, const QString& button);

// Gives each push button of `window` without a tip the one above, in the
// language `guru` shows.
void addButtonTips(QWidget* window, const Translator& guru);

} // namespace tvq52
