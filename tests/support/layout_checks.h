#pragma once

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QStyle>
#include <QTabBar>
#include <gtest/gtest.h>

namespace tvq52::test {

// The smallest screen the program is laid out for.
inline constexpr QSize kSmallScreen(1024, 768);

inline bool insideScrollArea(const QWidget* w, const QWidget* window)
{
    for (const QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget())
        if (qobject_cast<const QAbstractScrollArea*>(p) && !qobject_cast<const QAbstractItemView*>(p))
            return true;
    return false;
}

// `window` as shown now: it can shrink to the small screen, each caption gets
// the width its text needs, every tab shows without scrolling and nothing lies
// outside the window. The picture goes to $TVQ52_SHOTS when it is set, for a
// person to look at.
inline void expectWhole(QWidget& window, const QString& where)
{
    const std::string at = where.toStdString();
    EXPECT_LE(window.minimumSizeHint().width(), kSmallScreen.width()) << at;
    EXPECT_LE(window.minimumSizeHint().height(), kSmallScreen.height()) << at;
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (!w->isVisible())
            continue;
        const QString caption = w->property(qobject_cast<QGroupBox*>(w) ? "title" : "text").toString();
        // What a scroll area holds may reach past the window: it scrolls.
        if (!insideScrollArea(w, &window)) {
            EXPECT_TRUE(window.rect().contains(QRect(w->mapTo(&window, QPoint(0, 0)), w->size())))
                << at << ": " << w->objectName().toStdString() << " lies outside the window";
        }
        if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QLabel*>(w) || qobject_cast<QGroupBox*>(w)) {
            EXPECT_GE(w->width(), w->minimumSizeHint().width())
                << at << ": \"" << caption.toStdString() << "\" is cut off";
        }
        // A line edit scrolls what does not fit: the value must show whole.
        if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            const int frame = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
            EXPECT_GE(edit->width(), edit->fontMetrics().horizontalAdvance(edit->displayText()) + 2 * frame + 4)
                << at << ": " << edit->objectName().toStdString() << " cuts \"" << edit->displayText().toStdString()
                << "\"";
        }
        if (auto* bar = qobject_cast<QTabBar*>(w)) {
            for (int i = 0; i < bar->count(); ++i) {
                EXPECT_TRUE(bar->rect().contains(bar->tabRect(i)))
                    << at << ": tab \"" << bar->tabText(i).toStdString() << "\" is out of sight";
            }
        }
    }
    const QPixmap shot = window.grab();
    EXPECT_EQ(shot.deviceIndependentSize().toSize(), window.size());
    const QString folder = qEnvironmentVariable("TVQ52_SHOTS");
    if (!folder.isEmpty() && QDir().mkpath(folder)) {
        EXPECT_TRUE(shot.save(QDir(folder).filePath(where + QStringLiteral(".png"))));
    }
}

} // namespace tvq52::test
