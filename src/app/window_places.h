#pragma once

#include <QRect>
#include <QString>
#include <optional>

namespace tvq52 {

// The settings file's section that keeps where each window was last shown,
// one key per window name.
inline constexpr char kWindowsSection[] = "Windows";

// A window's place as the settings file keeps it: "x,y,width,height".
QString placeText(const QRect& place);
// Nothing for a text that is not four whole numbers with a size above zero.
std::optional<QRect> placeFromText(const QString& text);

// `saved` made to lie wholly inside `screen`: shrunk to the screen's size when
// larger, then moved in from whichever edges it crosses.
QRect keptOnScreen(const QRect& saved, const QRect& screen);

} // namespace tvq52
