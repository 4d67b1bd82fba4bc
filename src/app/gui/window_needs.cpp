#include "app/gui/window_needs.h"

#include "app/app_context.h"
#include "app/data_folder.h"
#include "app/exchange_sessions.h"
#include "app/gui/help.h"
#include "app/settings.h"

namespace tvq52 {

std::function<void()> helpOpener(AppContext& ctx, Prompter& prompter)
{
    return [&ctx, &prompter] { openHelp(ctx, prompter); };
}

SessionSource sessionSource(AppContext& ctx)
{
    return [&ctx](Line* line, Clock* clock) { return openExchangeSession(ctx, {line, clock, {}}); };
}

ProgrammingWindow::Needs programmingWindowNeeds(AppContext& ctx, Prompter& prompter)
{
    return {ctx.guru,
            prompter,
            ctx.db.get(),
            ctx.unit,
            sessionSource(ctx),
            ctx.CommandLineFile,
            [&ctx] { return reportFooterText(ctx); },
            [] { return findAssetFolder(); },
            helpOpener(ctx, prompter)};
}

RecordedDataWindow::Needs recordedDataWindowNeeds(AppContext& ctx, Prompter& prompter)
{
    return {ctx.guru, prompter, ctx.db.get(), ctx.unit, sessionSource(ctx), helpOpener(ctx, prompter)};
}

ReportWindow::Needs reportWindowNeeds(AppContext& ctx, Prompter& prompter)
{
    return {ctx.guru,
            prompter,
            ctx.db.get(),
            ctx.unit,
            [&ctx] { return reportFooterText(ctx); },
            [] { return findAssetFolder(); },
            helpOpener(ctx, prompter)};
}

GraphReportNeeds graphReportNeeds(AppContext& ctx, Prompter& prompter)
{
    return {ctx.guru, prompter, ctx.db.get(), findAssetFolder(), reportFooterText(ctx)};
}

} // namespace tvq52
