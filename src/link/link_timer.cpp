#include "link/link_timer.h"

#include "link/clock.h"

namespace tvq52 {

LinkTimer::LinkTimer(Clock& clock, int intervalMs) : clock_(clock), interval_(intervalMs) {}

void LinkTimer::start()
{
    startedAtNs_ = clock_.elapsedNs();
    running_ = true;
}

qint64 LinkTimer::remainingMs() const
{
    if (!running_)
        return 0;
    // Rounded up: the timer stays enabled until its whole interval has passed.
    const qint64 leftNs = startedAtNs_ + qint64(interval_) * 1000000 - clock_.elapsedNs();
    return leftNs <= 0 ? 0 : (leftNs + 999999) / 1000000;
}

bool LinkTimer::isEnabled() const
{
    return remainingMs() > 0;
}

void RestartTimer(LinkTimer& timer)
{
    timer.stop();
    timer.start();
}

} // namespace tvq52
