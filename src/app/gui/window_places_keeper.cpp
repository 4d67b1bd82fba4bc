#include "app/gui/window_places_keeper.h"

#include "app/ini_file.h"
#include "app/window_places.h"

#include <QApplication>
#include <QEvent>
#include <QScreen>
#include <QWidget>

namespace tvq52 {

namespace {

constexpr char kRestored[] = "tvq52PlaceRestored";

bool isProgramWindow(const QObject* o)
{
    const auto* w = qobject_cast<const QWidget*>(o);
    return w && w->isWindow() && w->objectName().startsWith(QLatin1String("Form"));
}

QRect availableAround(const QRect& place)
{
    QScreen* screen = QGuiApplication::screenAt(place.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

} // namespace

WindowPlacesKeeper::WindowPlacesKeeper(QString settingsFile, QObject* parent)
    : QObject(parent), settingsFile_(std::move(settingsFile))
{}

void WindowPlacesKeeper::install()
{
    qApp->installEventFilter(this);
}

void WindowPlacesKeeper::restore(QWidget* window) const
{
    const QString key = window->objectName();
    const auto place = placeFromText(ReadSetting(QString::fromLatin1(kWindowsSection), key, QString(), settingsFile_));
    const QSize frame = window->frameGeometry().size() - window->geometry().size();
    if (!place) {
        // A first showing: where the desktop puts it, at its natural size
        // (Qt's own first size stops at two thirds of the screen, which
        // leaves a table a few rows), at most the screen's size.
        const QSize room = availableAround(window->frameGeometry()).size() - frame;
        const QSize natural = window->size().expandedTo(window->sizeHint()).expandedTo(window->minimumSizeHint());
        if (!room.isEmpty() && window->size() != natural.boundedTo(room))
            window->resize(natural.boundedTo(room));
        return;
    }
    // Never smaller than its contents need: a language with longer texts
    // may need more room than the last one did. The place is the frame's
    // corner and the inside's size; the frame's edges must be on the screen
    // too.
    const QRect wanted(place->topLeft(), place->size().expandedTo(window->minimumSizeHint()) + frame);
    const QRect kept = keptOnScreen(wanted, availableAround(*place));
    window->resize(kept.size() - frame);
    window->move(kept.topLeft());
}

void WindowPlacesKeeper::remember(const QWidget* window) const
{
    // Where move() puts it back: the frame's corner, and the inside's size.
    const bool filling = window->isMaximized() || window->isFullScreen();
    const QRect place = filling ? window->normalGeometry() : QRect(window->pos(), window->size());
    if (place.isEmpty())
        return;
    WriteSetting(QString::fromLatin1(kWindowsSection), window->objectName(), placeText(place), settingsFile_);
}

bool WindowPlacesKeeper::eventFilter(QObject* watched, QEvent* event)
{
    if ((event->type() == QEvent::Show || event->type() == QEvent::Hide) && isProgramWindow(watched)) {
        auto* window = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::Hide) {
            remember(window);
        } else if (!window->property(kRestored).toBool()) {
            window->setProperty(kRestored, true);
            restore(window);
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace tvq52
