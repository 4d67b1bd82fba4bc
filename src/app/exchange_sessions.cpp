#include "app/exchange_sessions.h"

#include "app/app_context.h"
#include "link/clock.h"
#include "link/serial_line.h"

namespace tvq52 {

Line& runLine(AppContext& ctx)
{
    if (!ctx.line) {
        ctx.line = std::make_unique<SerialLine>();
        ctx.line->setDeviceName(serialDeviceName(ctx.lineSettings));
    }
    return *ctx.line;
}

std::unique_ptr<ExchangeSession> openExchangeSession(AppContext& ctx, const SessionOverrides& overrides)
{
    Line& line = overrides.line ? *overrides.line : runLine(ctx);
    Clock& clock = overrides.clock ? *overrides.clock : systemClock();
    return std::make_unique<ExchangeSession>(ctx.lineSettings, line, clock,
                                             overrides.silenceLimitMs.value_or(kSilenceLimitMs));
}

} // namespace tvq52
