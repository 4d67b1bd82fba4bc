#include "support/started_program.h"

#include <QLabel>

using namespace tvq52;

namespace {

struct ButtonTexts {
    const char* name;
    const char* text;
    const char* tip;
};

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
    tvq52::test::StartedProgram program;
    ApplicationShell& shell = *program.shell;
    expectTexts(*shell.mainWindow(), kSpanish, "Español");

    program.chooseLanguage("OptionIngles");
    ASSERT_NE(shell.mainWindow(), nullptr);
    EXPECT_EQ(shell.context().LanguageCodeValue, 3000);
    expectTexts(*shell.mainWindow(), kEnglish, "English");
    EXPECT_EQ(shell.mainWindow()->findChild<QLabel*>("LbImportando")->text(), "Importing data");
    EXPECT_EQ(shell.mainWindow()->findChild<QLabel*>("LbTitulo")->text(), "TVQ-52");

    program.chooseLanguage("OptionEspañol");
    EXPECT_EQ(shell.context().LanguageCodeValue, 1000);
    expectTexts(*shell.mainWindow(), kSpanish, "Español");

    // Every other language reaches its own column.
    const QList<std::pair<const char*, const char*>> others = {
        {"OptionCatalan", "Surt"}, {"OptionAleman", "Beenden"}, {"OptionFrances", "Quitter"},
        {"OptionItaliano", "Esci"}, {"OptionPortugues", "Sair"},
    };
    for (const auto& [option, exit] : others) {
        program.chooseLanguage(option);
        EXPECT_EQ(shell.mainWindow()->button("SSCommandExit")->text(), QString::fromUtf8(exit)) << option;
    }
    // Nothing went wrong on the way.
    EXPECT_TRUE(program.prompter.shown().isEmpty()) << program.prompter.shown().value(0).text.toStdString();
}

} // namespace
