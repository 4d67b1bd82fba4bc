#include "link/clock.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <cmath>

namespace tvq52 {

ScaledClock::ScaledClock(double speed) : speed_(speed > 0 ? speed : 1.0), startedAt_(QDateTime::currentDateTime())
{
    elapsed_.start();
}

QDateTime ScaledClock::now() const
{
    if (speed_ == 1.0)
        return QDateTime::currentDateTime();
    return startedAt_.addMSecs(elapsedMs());
}

qint64 ScaledClock::elapsedNs() const
{
    return qint64(double(elapsed_.nsecsElapsed()) * speed_);
}

qint64 ScaledClock::realMs(qint64 ms) const
{
    return ms <= 0 ? 0 : std::max<qint64>(1, qint64(std::ceil(double(ms) / speed_)));
}

bool ScaledClock::waitFor(qint64 ms, const std::function<bool()>& until, WaitEvents events)
{
    if (until && until())
        return true;
    QEventLoop::ProcessEventsFlags flags = QEventLoop::WaitForMoreEvents;
    if (events == WaitEvents::ExcludeUserInput)
        flags |= QEventLoop::ExcludeUserInputEvents;

    const qint64 end = elapsedNs() + ms * 1000000;
    // The timer only wakes the loop at the deadline; whatever else happens
    // (bytes on the line, a stop button) wakes it too and is checked below.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    for (;;) {
        if (until && until())
            return true;
        const qint64 leftNs = end - elapsedNs();
        if (leftNs <= 0)
            return false;
        const qint64 left = (leftNs + 999999) / 1000000;
        wake.start(int(std::min<qint64>(realMs(left), 24 * 3600 * 1000)));
        QCoreApplication::processEvents(flags);
    }
}

Clock& systemClock()
{
    static ScaledClock clock(1.0);
    return clock;
}

} // namespace tvq52
