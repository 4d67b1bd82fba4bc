#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QWidget>

// Qt's own entry for a key that may be a shortcut (what a real key press
// goes through before the focused widget sees it).
Q_GUI_EXPORT bool qt_sendShortcutOverrideEvent(QObject* o, ulong timestamp, int k, Qt::KeyboardModifiers mods,
                                               const QString& text = QString(), bool autorep = false, ushort count = 1);

namespace tvq52::test {

// Makes `window` the active window, as a click on it would.
inline void makeActive(QWidget* window)
{
    window->show();
    window->activateWindow();
    QApplication::setActiveWindow(window);
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

// Lets the window's events run for `ms` milliseconds: a button pressed by
// its access key shows itself pressed for a moment before it acts.
inline void letRun(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
}

// A key pressed and released in `window` as from the keyboard: shortcuts and
// access keys take it first, else the focused control gets it.
inline void keyInto(QWidget* window, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                    const QString& text = {})
{
    QWidget* target = window->focusWidget() ? window->focusWidget() : window;
    if (qt_sendShortcutOverrideEvent(target, 0, key, modifiers, text))
        return;
    QKeyEvent down(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(target, &down);
    QKeyEvent up(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(target, &up);
}

} // namespace tvq52::test
