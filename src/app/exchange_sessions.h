#pragma once

#include "link/exchange_session.h"

#include <memory>
#include <optional>

namespace tvq52 {

struct AppContext;

// Where a session differs from the run's: a test's line and clock, the
// command line's silence limit.
struct SessionOverrides {
    Line* line = nullptr;
    Clock* clock = nullptr;
    std::optional<int> silenceLimitMs;
};

// The one serial line of the run, created on first use, so that a modem call
// left up serves the next exchange of any window or command.
Line& runLine(AppContext& ctx);

// A session on a copy of the run's line settings (as start-up and the
// command line left them in ctx.lineSettings), the run's line and real time.
std::unique_ptr<ExchangeSession> openExchangeSession(AppContext& ctx, const SessionOverrides& overrides = {});

} // namespace tvq52
