#pragma once

#include <QString>
#include <functional>

class QMenu;
class QMenuBar;
class QPushButton;

namespace tvq52 {

class Translator;

// The main window's menus hold every button's action under the words the
// button shows, with its shortcut, so that nothing is reached in only one
// way; the Window menu lists the open windows and brings one up.
struct MainMenuSource {
    const Translator& translator;
    // The main window's button of that objectName, or nullptr.
    std::function<QPushButton*(const char* objectName)> button;
    QMenu* recentFiles = nullptr;
    std::function<void()> refreshUnits;
    std::function<void()> findUnit;
    // Access keys the window's own controls hold; the menu titles keep off them.
    QString takenKeys;
};

// Fills `bar` anew in the language the buttons now show.
void fillMainMenu(QMenuBar& bar, const MainMenuSource& source);

} // namespace tvq52
