#pragma once

#include "app/gui/application_shell.h"
#include "app/gui/main_window.h"
#include "db/store.h"
#include "support/result_checks.h"
#include "support/scripted_prompter.h"
#include "support/temp_home.h"

#include <QApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace tvq52::test {

template <typename T = QWidget> T* child(QWidget* w, const char* name)
{
    T* c = w->findChild<T*>(QString::fromUtf8(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

inline void settle()
{
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

// Runs `act` on the modal dialog once it is shown.
inline void whenModal(std::function<void(QWidget*)> act)
{
    QTimer::singleShot(0, [act] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        act(modal);
    });
}

// The program as it starts on a fresh data folder, with a prompter that records what it shows.
struct StartedProgram {
    TempHome home;
    ScriptedPrompter prompter;
    std::unique_ptr<ApplicationShell> shell;

    explicit StartedProgram(const QString& commandLine = {})
    {
        home.provision();
        shell = std::make_unique<ApplicationShell>(home.path(), commandLine, &prompter);
        shell->start();
        EXPECT_NE(shell->mainWindow(), nullptr);
    }
    MainWindow& window() { return *shell->mainWindow(); }
    Row configuration()
    {
        Store store(*shell->context().db);
        return test::take(store.select(QStringLiteral("Configuracion"))).value(0);
    }
    // Picks a language in the language dialog as a user does; the main window is rebuilt after the click.
    void chooseLanguage(const char* option)
    {
        bool picked = false;
        whenModal([&](QWidget* d) {
            EXPECT_EQ(d->objectName(), QStringLiteral("Form7"));
            child<QRadioButton>(d, option)->click();
            child<QPushButton>(d, "SSCommandAceptar")->click();
            picked = true;
        });
        window().button("SSCommandIdioma")->click();
        EXPECT_TRUE(picked);
        settle();
    }
};

} // namespace tvq52::test
