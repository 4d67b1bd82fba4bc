#include "app/gui/screen_fit.h"

#include <QFontMetrics>
#include <QLayout>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace tvq52 {

namespace {
constexpr char kScrolled[] = "tvq52Scrolled";
}

QMargins frameAround(const QWidget* window)
{
    const QWindow* handle = window->windowHandle();
    return handle ? handle->frameMargins() : QMargins();
}

void widenForTitle(QWidget* window)
{
    const QScreen* screen = window->screen();
    if (!screen)
        return;
    // Title bars use a bold face, with the icon and three buttons about
    // as wide as the bar is high.
    QFont bold = window->font();
    bold.setBold(true);
    const int bar = window->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window);
    const int needed = QFontMetrics(bold).horizontalAdvance(window->windowTitle()) + 5 * bar;
    const int room = screen->availableGeometry().width() - frameAround(window).left() - frameAround(window).right();
    const int least = std::min(needed, room);
    if (window->minimumWidth() < least)
        window->setMinimumWidth(least);
}

bool fitOnScreen(QWidget* window)
{
    QLayout* layout = window->layout();
    const QScreen* screen = window->screen();
    if (!layout || !screen || window->property(kScrolled).toBool())
        return false;
    const QSize room = screen->availableGeometry().size().shrunkBy(frameAround(window));
    const QSize least = window->minimumSizeHint().expandedTo(window->minimumSize());
    if (least.width() <= room.width() && least.height() <= room.height())
        return false;
    // The window's layout, with every widget in it, moves into the body.
    auto* body = new QWidget;
    body->setObjectName(window->objectName() + QStringLiteral("Contenido"));
    body->setLayout(layout);
    auto* area = new QScrollArea(window);
    area->setObjectName(window->objectName() + QStringLiteral("Desplazable"));
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setWidget(body);
    auto* outer = new QVBoxLayout(window);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(area);
    window->setProperty(kScrolled, true);
    window->setMinimumSize(window->minimumSize().boundedTo(room));
    // Wide enough not to need a scroll bar across when only the height
    // is short, and the other way round.
    const int bar = area->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const QSize wanted = body->sizeHint().expandedTo(least) + QSize(bar, bar);
    window->resize(wanted.boundedTo(room));
    return true;
}

} // namespace tvq52
