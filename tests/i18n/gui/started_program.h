#pragma once

#include "app/gui/application_shell.h"
#include "support/scripted_prompter.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>
#include <memory>

namespace tvq52::test {

// The program as it starts on a fresh data folder, with a prompter that
// records what it shows.
class StartedProgram {
public:
    StartedProgram()
    {
        home.provision();
        shell = std::make_unique<ApplicationShell>(home.path(), QString(), &prompter);
        shell->start();
        EXPECT_NE(shell->mainWindow(), nullptr);
    }

    TempHome home;
    ScriptedPrompter prompter;
    std::unique_ptr<ApplicationShell> shell;
};

} // namespace tvq52::test
