#include "app/app_context.h"
#include "app/gui/application_shell.h"
#include "app/gui/main_window.h"
#include "i18n/gui/composite_controls.h"
#include "support/scripted_prompter.h"
#include "support/temp_home.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <gtest/gtest.h>

using namespace tvq52;

namespace {

struct ButtonTexts {
    const char* name;
    const char* text;
    const char* tip;
};

// Picks a language in the language dialog the way a user does.
void chooseLanguage(MainWindow& window, const char* option)
{
    bool picked = false;
    QTimer::singleShot(0, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        ASSERT_EQ(dialog->objectName(), "Form7");
        auto* radio = dialog->findChild<QRadioButton*>(QString::fromUtf8(option));
        ASSERT_NE(radio, nullptr) << option;
        radio->click();
        dialog->findChild<QPushButton*>("SSCommandAceptar")->click();
        picked = true;
    });
    window.button("SSCommandIdioma")->click();
    EXPECT_TRUE(picked);
    // The main window is rebuilt once the dialog's click has finished.
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

void expectTexts(MainWindow& window, const QList<ButtonTexts>& expected, const char* language)
{
    for (const ButtonTexts& b : expected) {
        QPushButton* button = window.button(b.name);
        ASSERT_NE(button, nullptr) << b.name;
        EXPECT_EQ(button->text(), QString::fromUtf8(b.text)) << language << " " << b.name;
        EXPECT_EQ(button->toolTip(), QString::fromUtf8(b.tip)) << language << " " << b.name;
    }
    EXPECT_EQ(window.windowTitle(), "TVQ-52");
}

const QList<ButtonTexts> kSpanish = {
    {"SSCommandProgramacion", "Programación", "Programar un TVQ-52 y consultar sus fichas"},
    {"SSCommandPort", "Comunicaciones", "Puerto serie y módem"},
    {"SSCommandExit", "Salir", "Salir del programa"},
};
const QList<ButtonTexts> kEnglish = {
    {"SSCommandProgramacion", "Programming", "Program a TVQ-52 and view its records"},
    {"SSCommandIncidencias", "Recorded data", "Download and view the recorded data"},
    {"SSCommandExit", "Exit", "Exit the program"},
};

TEST(MainWindowLanguage, ChoosingALanguageRebuildsTheMainWindowInIt)
{
    tvq52::test::TempHome home;
    home.provision();
    tvq52::test::ScriptedPrompter prompter;
    ApplicationShell shell(home.path(), QString(), &prompter);
    installWidgetTranslation(shell.context().guru);
    shell.start();
    ASSERT_NE(shell.mainWindow(), nullptr);
    expectTexts(*shell.mainWindow(), kSpanish, "Español");

    chooseLanguage(*shell.mainWindow(), "OptionIngles");
    ASSERT_NE(shell.mainWindow(), nullptr);
    EXPECT_EQ(shell.context().LanguageCodeValue, 3000);
    expectTexts(*shell.mainWindow(), kEnglish, "English");
    EXPECT_EQ(shell.mainWindow()->findChild<QLabel*>("LbImportando")->text(), "Importing data");
    EXPECT_EQ(shell.mainWindow()->findChild<QLabel*>("LbTitulo")->text(), "TVQ-52");

    chooseLanguage(*shell.mainWindow(), "OptionEspañol");
    EXPECT_EQ(shell.context().LanguageCodeValue, 1000);
    expectTexts(*shell.mainWindow(), kSpanish, "Español");

    // Every other language reaches its own column.
    const QList<std::pair<const char*, const char*>> others = {
        {"OptionCatalan", "Surt"}, {"OptionAleman", "Beenden"}, {"OptionFrances", "Quitter"},
        {"OptionItaliano", "Esci"}, {"OptionPortugues", "Sair"},
    };
    for (const auto& [option, exit] : others) {
        chooseLanguage(*shell.mainWindow(), option);
        EXPECT_EQ(shell.mainWindow()->button("SSCommandExit")->text(), QString::fromUtf8(exit)) << option;
    }
    // Nothing went wrong on the way.
    EXPECT_TRUE(prompter.shown().isEmpty()) << prompter.shown().value(0).text.toStdString();
}

} // namespace
