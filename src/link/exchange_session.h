#pragma once

#include "link/device_link.h"
#include "link/link_timer.h"

#include <functional>
#include <memory>

namespace tvq52 {

// What one exchange with the unit runs on: the shared link state, the run's
// line, the clock, the link over them and the window's silence timer.
// Windows and commands ask the app for one (openExchangeSession) rather than
// put these together themselves.
class ExchangeSession {
public:
    ExchangeSession(LinkState& state, Line& line, Clock& clock, int silenceLimitMs = kSilenceLimitMs)
        : link_(state, line, clock), timer_(clock, silenceLimitMs)
    {}

    DeviceLink& link() { return link_; }
    LinkTimer& timer() { return timer_; }
    LinkState& state() const { return link_.state(); }
    Line& line() const { return link_.line(); }
    Clock& clock() const { return link_.clock(); }

private:
    DeviceLink link_;
    LinkTimer timer_;
};

// Opens a session for a window that does not know where its line comes from.
using SessionSource = std::function<std::unique_ptr<ExchangeSession>()>;

} // namespace tvq52
