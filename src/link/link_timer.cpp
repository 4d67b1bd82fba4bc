#include "link/link_timer.h"

#include "link/clock.h"

namespace tvq52 {

LinkTimer::LinkTimer(Clock& clock, int intervalMs) : clock_(clock), interval_(intervalMs) {}

void LinkTimer::start()
{
    startedAt_ = clock_.elapsedMs();
    running_ = true;
}

qint64 LinkTimer::remainingMs() const
{
    if (!running_)
        return 0;
    return std::max<qint64>(0, startedAt_ + interval_ - clock_.elapsedMs());
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
