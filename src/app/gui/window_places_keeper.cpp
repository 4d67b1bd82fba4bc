#include "app/gui/window_places_keeper.h"

#include "app/ini_file.h"
#include "app/window_places.h"
#include "app/gui/screen_fit.h"

#include <QApplication>
#include <QEvent>
#include <QScreen>
#include <QStyle>
#include <QWidget>

namespace tvq52 {

namespace {

constexpr char kRestored[] = "tvq52PlaceRestored";

bool isProgramWindow(const QObject* o)
{
    const auto* w = qobject_cast<const QWidget*>(o);
    return w && w->isWindow() && w->objectName().startsWith(QLatin1String("Form"));
}

// The report preview keeps no place (it opens as large as it can), yet has
// to fit a small screen like the others.
bool isPreview(const QObject* o)
{
    const auto* w = qobject_cast<const QWidget*>(o);
    return w && w->isWindow() && w->objectName() == QLatin1String("ReportPreviewWindow");
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
    const QString stored = ReadSetting(QString::fromLatin1(kWindowsSection), window->objectName(), QString(),
                                       settingsFile_);
    QMargins frame = frameAround(window);
    if (const auto place = placeFromText(stored)) {
        // The form kept before: the inside's corner and size. Until the
        // desktop tells the frame, a title bar's height is kept free above.
        window->setGeometry(place->x(), place->y(), place->width(), place->height());
        if (frame.isNull())
            frame.setTop(window->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window));
    } else if (const QByteArray saved = QByteArray::fromBase64(stored.toLatin1());
               !stored.isEmpty() && window->restoreGeometry(saved)) {
        if (const auto inside = insideOfSavedGeometry(saved); inside && !window->isMaximized())
            window->setGeometry(*inside);
    } else {
        // A first showing: where the desktop puts it, at its natural size
        // (Qt's own first size stops at two thirds of the screen, which
        // leaves a table a few rows), at most the screen's size.
        const QSize room = availableAround(window->frameGeometry()).size().shrunkBy(frame);
        const QSize natural = window->size().expandedTo(window->sizeHint()).expandedTo(window->minimumSizeHint());
        if (!room.isEmpty() && window->size() != natural.boundedTo(room))
            window->resize(natural.boundedTo(room));
        return;
    }
    if (window->isMaximized() || window->isFullScreen())
        return;
    // Never smaller than its contents need (a language with longer texts may
    // need more room than the last one did), and wholly on the screen,
    // title bar and edges included.
    const QRect inside(window->geometry().topLeft(), window->size().expandedTo(window->minimumSizeHint()));
    const QRect kept = keptOnScreen(inside + frame, availableAround(inside)) - frame;
    window->setGeometry(kept);
}

void WindowPlacesKeeper::remember(const QWidget* window) const
{
    // Qt's own form, which keeps the inside's place apart from the frame's:
    // putting the frame's corner where the inside had been moved a window
    // up by its title bar at each showing.
    if (window->geometry().isEmpty())
        return;
    WriteSetting(QString::fromLatin1(kWindowsSection), window->objectName(),
                 QString::fromLatin1(window->saveGeometry().toBase64()), settingsFile_);
}

bool WindowPlacesKeeper::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show && isPreview(watched)) {
        auto* preview = static_cast<QWidget*>(watched);
        widenForTitle(preview);
        fitOnScreen(preview);
    }
    if ((event->type() == QEvent::Show || event->type() == QEvent::Hide) && isProgramWindow(watched)) {
        auto* window = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::Hide) {
            remember(window);
        } else if (!window->property(kRestored).toBool()) {
            window->setProperty(kRestored, true);
            widenForTitle(window);
            fitOnScreen(window);
            restore(window);
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace tvq52
