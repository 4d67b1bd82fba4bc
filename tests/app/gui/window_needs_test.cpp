#include "app/app_context.h"
#include "app/data_folder.h"
#include "app/gui/window_needs.h"
#include "app/settings.h"
#include "monitor/gui/monitor_window.h"
#include "reports/gui/graph_window.h"
#include "support/started_program.h"

#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>

using namespace tvq52;
using namespace tvq52::test;

// Every window's help button reaches the installed help through what the
// shell handed it: with an installation that lacks the help pages, each click
// says which page is missing.
TEST(WindowNeeds, EveryHelpButtonOpensTheHelpOfTheRun)
{
    StartedProgram program;
    AppContext& ctx = program.shell->context();
    QTemporaryDir installation;
    qputenv("TVQ52_ASSETS", installation.path().toUtf8());
    const QString pages = helpFolder(findAssetFolder());
    ASSERT_EQ(pages, helpFolder(installation.path()));
    program.prompter.clear();

    std::vector<std::pair<const char*, std::unique_ptr<QWidget>>> windows;
    windows.emplace_back("Form2", std::make_unique<ProgrammingWindow>(programmingWindowNeeds(ctx, program.prompter)));
    windows.emplace_back("Form5", std::make_unique<RecordedDataWindow>(recordedDataWindowNeeds(ctx, program.prompter)));
    windows.emplace_back("Form6", std::make_unique<ReportWindow>(reportWindowNeeds(ctx, program.prompter)));
    windows.emplace_back(
        "Form9",
        std::make_unique<GraphWindow>(ctx.guru, program.prompter, ctx.db.get(), helpOpener(ctx, program.prompter)));
    windows.emplace_back("Form3",
                         std::make_unique<MonitorWindow>(ctx.guru, program.prompter, sessionSource(ctx),
                                                         helpOpener(ctx, program.prompter)));
    for (auto& [form, window] : windows) {
        program.prompter.clear();
        auto* help = child<QPushButton>(window.get(), "SSCommandHelp");
        ASSERT_NE(help, nullptr) << form;
        ASSERT_TRUE(help->isEnabled()) << form;
        help->click();
        ASSERT_EQ(program.prompter.shown().size(), 1) << form;
        EXPECT_EQ(program.prompter.shown().front().style, MessageStyle::Exclamation) << form;
        EXPECT_TRUE(program.prompter.shown().front().text.contains(pages)) << form;
    }
    qunsetenv("TVQ52_ASSETS");
}

// The windows' sessions run on the run's link state, which start-up and the
// communication settings fill in, and each call opens a session of its own.
TEST(WindowNeeds, SessionsRunOnTheLinkStateOfTheRun)
{
    StartedProgram program;
    AppContext& ctx = program.shell->context();
    const SessionSource open = sessionSource(ctx);
    const auto first = open();
    const auto second = open();
    ASSERT_TRUE(first && second);
    EXPECT_NE(first.get(), second.get());
    EXPECT_EQ(&first->state(), &ctx.link);
    EXPECT_EQ(&second->state(), &ctx.link);
    // One line for the run: a modem call left up serves the next session.
    EXPECT_EQ(&first->line(), &second->line());
    EXPECT_EQ(&first->line(), ctx.line.get());
}

// What a report prints with is read at the click: a footer typed after the
// window was built is the one printed.
TEST(WindowNeeds, ReportInputsAreReadWhenAsked)
{
    StartedProgram program;
    AppContext& ctx = program.shell->context();
    const ProgrammingWindow::Needs needs = programmingWindowNeeds(ctx, program.prompter);
    EXPECT_EQ(needs.database, ctx.db.get());
    EXPECT_EQ(&needs.link, &ctx.link);
    EXPECT_EQ(needs.assetFolder(), findAssetFolder());
    ASSERT_TRUE(acceptFooterText(ctx, QStringLiteral("Ayuntamiento de Girona")).ok());
    EXPECT_EQ(needs.footerText(), QStringLiteral("Ayuntamiento de Girona"));
    EXPECT_EQ(graphReportNeeds(ctx, program.prompter).footerText, QStringLiteral("Ayuntamiento de Girona"));
}
