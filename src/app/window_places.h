#pragma once

#include <QByteArray>
#include <QRect>
#include <QString>
#include <optional>

namespace tvq52 {

// The settings file's section that keeps where each window was last shown,
// one key per window name.
inline constexpr char kWindowsSection[] = "Windows";

// A window's place as the settings file kept it before it held Qt's own
// form: "x,y,width,height" of the inside. Nothing for a text that is not four
// whole numbers with a size above zero.
std::optional<QRect> placeFromText(const QString& text);

// The inside's place (QWidget::geometry()) that QWidget::saveGeometry() keeps
// in `saved`; nothing for another text or an older form without it. Qt's
// own restoring moves a window down by its guess of a title bar when the
// frame is not known yet, which a window kept near the top would do anew
// on each start.
std::optional<QRect> insideOfSavedGeometry(const QByteArray& saved);

// `saved` made to lie wholly inside `screen`: shrunk to the screen's size when
// larger, then moved in from whichever edges it crosses.
QRect keptOnScreen(const QRect& saved, const QRect& screen);

} // namespace tvq52
