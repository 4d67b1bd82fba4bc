#include "app/app_context.h"
#include "app/exchange_sessions.h"
#include "monitor/gui/monitor_window.h"
#include "support/scripted_prompter.h"
#include "support/started_program.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtCharts/QChartView>
#include <QtCharts/QValueAxis>
#include <functional>
#include <gtest/gtest.h>

using namespace tvq52;
using namespace tvq52::test;

namespace {

QString text(QWidget* w, const char* name)
{
    return w->findChild<QLabel*>(QString::fromLatin1(name))->text();
}

bool shown(QWidget* w, const char* name)
{
    return w->findChild<QWidget*>(QString::fromLatin1(name))->isVisibleTo(w);
}

std::pair<qreal, qreal> timeRange(QWidget* w)
{
    const auto* axis = qobject_cast<QValueAxis*>(
        w->findChild<QChartView*>(QStringLiteral("ChartTendencia"))->chart()->axes(Qt::Horizontal).value(0));
    return {axis->min(), axis->max()};
}

} // namespace

TEST(MonitorWindow, AnAlarmKeepsTheWindowsSizeAndAReopenedWindowStartsBlank)
{
    QTemporaryDir dir;
    AppContext ctx(dir.path());
    test::ScriptedPrompter prompter;
    MonitorWindow m(ctx.translator, prompter, [&](Line* line, Clock* clock) {
        return openExchangeSession(ctx, {line, clock, {}});
    });
    m.adjustSize();
    m.show();
    settle();
    const QSize before = m.size();
    const auto rangeBefore = timeRange(&m);

    RealTimeReading alarms;
    alarms.day = 7;
    alarms.month = 3;
    alarms.year = 24;
    alarms.session = alarms.night = 1;
    alarms.mainsOff = alarms.sensorOff = alarms.nonWorking = 1;
    alarms.attenuation = 12;
    m.showReading(alarms);
    settle();
    EXPECT_EQ(m.size(), before);
    EXPECT_EQ(timeRange(&m), rangeBefore) << "the time axis runs the same way before and after the first reading";
    ASSERT_EQ(text(&m, "LbFecha"), QStringLiteral("07/03/24"));
    ASSERT_TRUE(shown(&m, "ProgressBar1"));
    m.close();

    std::function<void()> whenShown = [&] {
        if (!m.isVisible()) {
            QTimer::singleShot(10, whenShown);
            return;
        }
        EXPECT_TRUE(text(&m, "LbFecha").isEmpty());
        EXPECT_TRUE(text(&m, "LbHora").isEmpty());
        EXPECT_TRUE(text(&m, "LbNoche").isEmpty());
        EXPECT_EQ(text(&m, "LbNivel"), QStringLiteral("---"));
        EXPECT_EQ(text(&m, "LbAtenuador"), QStringLiteral("0"));
        for (const char* hidden : {"LbSesion", "LbRed", "LbSensor", "LbInhabil", "ProgressBar1"})
            EXPECT_FALSE(shown(&m, hidden)) << hidden;
        m.close();
    };
    QTimer::singleShot(0, whenShown);
    m.runFor(nullptr, QString(), 4711);
}
