#include "programming/gui/programming_window.h"
#include "programming/gui/week_schedule_window.h"

#include "window_fixture.h"

#include <QAbstractButton>
#include <QDir>
#include <QLabel>
#include <QTabWidget>

using namespace tvq52;
using namespace tvq52::test;

namespace {

// Every caption on the page shows whole: no button or label narrower than
// its text needs, and nothing outside the window.
void expectNothingClipped(QWidget* window, const QString& where)
{
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisible())
            continue;
        const QRect inWindow(w->mapTo(window, QPoint(0, 0)), w->size());
        EXPECT_TRUE(window->rect().contains(inWindow)) << where.toStdString() << " " << w->objectName().toStdString();
        if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QLabel*>(w)) {
            EXPECT_GE(w->width(), w->minimumSizeHint().width())
                << where.toStdString() << " " << w->metaObject()->className() << " "
                << w->property("text").toString().toStdString();
        }
    }
}

// Pictures go to $TVQ52_SHOTS when it is set, for a person to look at.
void keep(QWidget* window, const QString& name)
{
    const QPixmap shot = window->grab();
    EXPECT_EQ(shot.size(), window->size());
    const QString folder = qEnvironmentVariable("TVQ52_SHOTS");
    if (folder.isEmpty())
        return;
    QDir().mkpath(folder);
    EXPECT_TRUE(shot.save(QDir(folder).filePath(name + QStringLiteral(".png"))));
}

class WindowLayout : public tvq52::test::WindowFixture {};

} // namespace

TEST_F(WindowLayout, EveryPageOfTheProgrammingWindowFitsBothScreenSizes)
{
    ProgrammingRecord r = storeUnit(123456, QStringLiteral("Sala de conciertos La Estación"), QStringLiteral("4.0"));
    ProgIntervals intervals = unusedIntervals();
    intervals[0] = {QStringLiteral("24/12/10"), QStringLiteral("20:00"), QStringLiteral("26/12/10"), QStringLiteral("08:00")};
    ASSERT_TRUE(GrabaProgramacio(*store_, r, intervals));
    ProgrammingWindow window(*ctx_, prompter_);
    for (const QSize size : {QSize(1024, 768), QSize(1920, 1080)}) {
        window.resize(size);
        activate(&window);
        auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("SSTab2"));
        for (int page = 0; page < tabs->count(); ++page) {
            tabs->setCurrentIndex(page);
            settle();
            const QString name = QStringLiteral("Form2_page%1_%2x%3").arg(page).arg(size.width()).arg(size.height());
            expectNothingClipped(&window, name);
            keep(&window, name);
        }
    }
}

TEST_F(WindowLayout, TheWeekScheduleFitsBothScreenSizes)
{
    WeekSessions week;
    week.fill({QStringLiteral("22:00"), QStringLiteral("03:00")});
    week[0] = {QStringLiteral("--:--"), QStringLiteral("--:--")};
    week[5] = {QStringLiteral("00:00"), QStringLiteral("23:59")};
    for (const QSize size : {QSize(1024, 768), QSize(1920, 1080)}) {
        WeekScheduleWindow window(*ctx_, prompter_, week, QStringLiteral("22:00"), QStringLiteral("08:00"), {});
        window.resize(size);
        activate(&window);
        const QString name = QStringLiteral("Form10_%1x%2").arg(size.width()).arg(size.height());
        expectNothingClipped(&window, name);
        keep(&window, name);
    }
}
