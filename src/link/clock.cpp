#include "link/clock.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
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

void Clock::callAfter(qint64 ms, std::function<void()> f, QObject* context)
{
    if (context)
        QTimer::singleShot(int(realMs(ms)), Qt::PreciseTimer, context, std::move(f));
    else
        QTimer::singleShot(int(realMs(ms)), Qt::PreciseTimer, std::move(f));
}

QDateTime VirtualClock::now() const
{
    return QDateTime(QDate(2024, 3, 15), QTime(10, 0)).addMSecs(elapsedMs());
}

void VirtualClock::callAfter(qint64 ms, std::function<void()> f, QObject* context)
{
    calls_.push_back(Call{ns_ + std::max<qint64>(ms, 0) * 1000000, std::move(f), context, context != nullptr});
}

void VirtualClock::runDue()
{
    // In time order; a call may schedule more, which join the queue.
    for (;;) {
        auto next = std::min_element(calls_.begin(), calls_.end(),
                                     [](const Call& a, const Call& b) { return a.atNs < b.atNs; });
        if (next == calls_.end() || next->atNs > ns_)
            return;
        Call call = std::move(*next);
        calls_.erase(next);
        if (!call.guarded || call.context)
            call.f();
    }
}

bool VirtualClock::waitFor(qint64 ms, const std::function<bool()>& until, WaitEvents events)
{
    const QEventLoop::ProcessEventsFlags flags =
        events == WaitEvents::ExcludeUserInput ? QEventLoop::ExcludeUserInputEvents : QEventLoop::AllEvents;
    const qint64 end = ns_ + std::max<qint64>(ms, 0) * 1000000;
    for (;;) {
        QCoreApplication::processEvents(flags);
        runDue();
        if (until && until())
            return true;
        if (ns_ >= end)
            return false;
        qint64 next = end;
        for (const Call& c : calls_)
            next = std::min(next, c.atNs);
        ns_ = std::max(ns_, next);
    }
}

Clock& systemClock()
{
    static ScaledClock clock(1.0);
    return clock;
}

} // namespace tvq52
