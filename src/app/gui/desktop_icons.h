#pragma once

#include <QIcon>
#include <QString>

namespace tvq52 {

// The program's own icon, as installed for its desktop entry: the theme's
// "tvq52", else the picture files beside the assets (share/icons/hicolor),
// so that a build and an unpacked package show it too. Null when neither is
// there.
QIcon applicationIcon(const QString& assetFolder = {});

// A question mark for Help buttons, from the desktop's theme when it has one.
QIcon helpIcon();

} // namespace tvq52
