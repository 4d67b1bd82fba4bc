#include "app/gui/window_needs.h"

#include "app/app_context.h"
#include "app/data_folder.h"
#include "app/exchange_sessions.h"
#include "app/gui/help.h"
#include "app/settings.h"
#include "monitor/gui/monitor_window.h"
#include "reports/gui/report_preview.h"

namespace tvq52 {

std::function<void()> helpOpener(AppContext& ctx, Prompter& prompter, const QString& topic)
{
    return [&ctx, &prompter, topic] { openHelp(ctx, prompter, topic); };
}

SessionSource sessionSource(AppContext& ctx)
{
    return [&ctx](Line* line, Clock* clock) { return openExchangeSession(ctx, {line, clock, {}}); };
}

namespace {

// The monitor window is made on its first opening, on the sessions of the
// window that opens it, and kept while that window keeps the opener: it is
// not a child, as its opener is out of use while it runs.
std::function<const ExchangeSession*(QWidget*, SessionSource, const QString&, qint32)> monitorOpener(AppContext& ctx, Prompter& prompter)
{
    auto kept = std::make_shared<std::unique_ptr<MonitorWindow>>();
    return [&ctx, &prompter, kept](QWidget* over, SessionSource sessions, const QString& phone, qint32 serial) {
        if (!*kept)
            *kept = std::make_unique<MonitorWindow>(ctx.translator, prompter, std::move(sessions), helpOpener(ctx, prompter, QStringLiteral("monitor")));
        (*kept)->runFor(over, phone, serial);
        return (*kept)->session();
    };
}

std::function<void(const RenderedReport&, const QString&, QWidget*)> previewOpener(AppContext& ctx, Prompter& prompter)
{
    return [&ctx, &prompter](const RenderedReport& report, const QString& fileStem, QWidget* over) {
        previewReport(report, prompter, ctx.translator, over, fileStem);
    };
}

} // namespace

ProgrammingWindow::Needs programmingWindowNeeds(AppContext& ctx, Prompter& prompter)
{
    return {ctx.translator,
            prompter,
            ctx.db.get(),
            ctx.unit,
            sessionSource(ctx),
            ctx.CommandLineFile,
            [&ctx] { return reportFooterText(ctx); },
            [] { return findAssetFolder(); },
            helpOpener(ctx, prompter, QStringLiteral("programming")),
            monitorOpener(ctx, prompter),
            previewOpener(ctx, prompter)};
}

RecordedDataWindow::Needs recordedDataWindowNeeds(AppContext& ctx, Prompter& prompter)
{
    return {ctx.translator, prompter, ctx.db.get(), ctx.unit, sessionSource(ctx), helpOpener(ctx, prompter, QStringLiteral("records"))};
}

ReportWindow::Needs reportWindowNeeds(AppContext& ctx, Prompter& prompter)
{
    return {ctx.translator,
            prompter,
            ctx.db.get(),
            ctx.unit,
            [&ctx] { return reportFooterText(ctx); },
            [] { return findAssetFolder(); },
            helpOpener(ctx, prompter, QStringLiteral("reports")),
            previewOpener(ctx, prompter)};
}

GraphReportNeeds graphReportNeeds(AppContext& ctx, Prompter& prompter)
{
    return {ctx.translator, prompter, ctx.db.get(), findAssetFolder(), reportFooterText(ctx)};
}

} // namespace tvq52
