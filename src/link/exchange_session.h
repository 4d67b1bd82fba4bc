#pragma once

#include "link/device_link.h"
#include "link/link_timer.h"

#include <functional>
#include <memory>

namespace tvq52 {

// What one exchange with the unit runs on: a copy of the line settings, the
// run's line, the clock, the link over them and the window's silence timer.
// The frames and the unit's identification stay in the session.
// Windows and commands ask the app for one (openExchangeSession) rather than
// put these together themselves.
class ExchangeSession {
public:
    ExchangeSession(LineSettings settings, Line& line, Clock& clock, int silenceLimitMs = kSilenceLimitMs)
        : link_(std::move(settings), line, clock), timer_(clock, silenceLimitMs)
    {}

    DeviceLink& link() { return link_; }
    LinkTimer& timer() { return timer_; }
    LineSettings& settings() { return link_.settings(); }
    const LineSettings& settings() const { return link_.settings(); }
    const UnitIdentity& unit() const { return link_.unit(); }
    // Only the workflow running on the session asks for this, from its stop().
    void requestStop() { link_.requestStop(); }
    Line& line() const { return link_.line(); }
    Clock& clock() const { return link_.clock(); }

private:
    DeviceLink link_;
    LinkTimer timer_;
};

// Opens a session for a window that does not know where its line comes from:
// the run's line and real time, unless a test gives a line and a clock.
using SessionSource = std::function<std::unique_ptr<ExchangeSession>(Line* line, Clock* clock)>;

} // namespace tvq52
