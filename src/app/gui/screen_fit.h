#pragma once

#include <QMargins>

class QWidget;

namespace tvq52 {

// The frame the desktop draws around `window`, as far as it is known yet
// (nothing before it has been shown once).
QMargins frameAround(const QWidget* window);

// Makes `window` at least as wide as its title bar needs to show the whole
// title beside the desktop's buttons, as far as its screen allows.
void widenForTitle(QWidget* window);

// When the least size of what `window` holds is larger than the room its
// screen offers (a small screen, a large scale, a language with long texts),
// puts it in a scroll area so that every part of it can be reached, and
// makes the window no larger than that room. A window that fits is left as
// it is. True when it was put in a scroll area.
bool fitOnScreen(QWidget* window);

} // namespace tvq52
