// Every window in every language: each button and field label has an access
// key of its own, each button a tip, and the window fits the small screens.
#include "app/data_folder.h"
#include "app/language_table.h"
#include "i18n/gui/access_keys.h"
#include "i18n/gui/form_registry.h"
#include "support/key_presses.h"
#include "support/started_program.h"

#include <QDir>
#include <QPushButton>
#include <QSet>
#include <QShortcut>
#include <gtest/gtest-spi.h>

using namespace tvq52;
using tvq52::test::settle;

namespace {

const char* const kLanguageOptions[] = {"OptionEspañol", "OptionCatalan",  "OptionIngles",   "OptionAleman",
                                        "OptionFrances", "OptionItaliano", "OptionPortugues"};

// The room a window has on the smaller of the two screens it must fit:
// 1024x768 at scale 1, and 1366x768 at scale 1.25 (1092x614 in the
// program's pixels), less a desktop panel and the window's title bar.
constexpr QSize kRoom(1024, 614 - 48);

// The keys of one window: none missing, none shared by two controls that can
// be reached at the same time.
void expectOwnKeys(QWidget& window, const std::string& at)
{
    QString beside;
    QHash<QWidget*, QString> onPage;
    for (const AccessKeyControl& c : accessKeyControls(&window)) {
        const QString caption = c.control->property("text").toString();
        const QChar key = accessKeyOf(caption);
        const std::string what =
            at + ": " + c.control->objectName().toStdString() + " \"" + caption.toStdString() + "\"";
        if (key.isNull()) {
            if (!hasShortcut(c.control, &window))
                ADD_FAILURE() << what << " has no access key";
            continue;
        }
        QString& keys = c.page ? onPage[c.page] : beside;
        EXPECT_FALSE(keys.contains(key)) << what << " shares its key";
        keys += key;
    }
    for (auto it = onPage.cbegin(); it != onPage.cend(); ++it)
        for (const QChar key : it.value())
            EXPECT_FALSE(beside.contains(key))
                << at << ": key " << QString(key).toStdString() << " is on a page and beside it";
}

void expectTips(QWidget& window, const std::string& at)
{
    for (QPushButton* b : window.findChildren<QPushButton*>()) {
        if (b->window() == &window) {
            EXPECT_FALSE(b->toolTip().trimmed().isEmpty())
                << at << ": " << b->objectName().toStdString() << " \"" << b->text().toStdString() << "\" has no tip";
        }
    }
}

void expectFits(QWidget& window, const std::string& at)
{
    const QSize least = window.minimumSize().expandedTo(window.minimumSizeHint());
    EXPECT_LE(least.width(), kRoom.width()) << at;
    EXPECT_LE(least.height(), kRoom.height()) << at;
}

TEST(KeyboardAndFit, EveryWindowHasItsKeysTipsAndRoomInEveryLanguage)
{
    test::StartedProgram program;
    for (const char* option : kLanguageOptions) {
        program.chooseLanguage(option);
        const std::string language = QString::fromUtf8(option).mid(6).toStdString();
        for (const QString& name : formRegistry().names()) {
            // The main window is translated by start-up: the one running.
            std::unique_ptr<QWidget> made = name == QLatin1String("Form1") ? nullptr : formRegistry().create(name);
            QWidget* window = made ? made.get() : &program.window();
            ASSERT_EQ(window->objectName(), name);
            const std::string at = name.toStdString() + "_" + language;
            expectOwnKeys(*window, at);
            expectTips(*window, at);
            expectFits(*window, at);
        }
    }
}

TEST(KeyboardAndFit, TheCheckCatchesAMissingAndASharedKey)
{
    QWidget window;
    auto* one = new QPushButton(QStringLiteral("&Salir"), &window);
    one->setObjectName(QStringLiteral("Uno"));
    auto* two = new QPushButton(QStringLiteral("&Siguiente"), &window);
    two->setObjectName(QStringLiteral("Dos"));
    EXPECT_NONFATAL_FAILURE(expectOwnKeys(window, "shared"), "Dos \"&Siguiente\" shares its key");
    two->setText(QStringLiteral("Siguiente"));
    EXPECT_NONFATAL_FAILURE(expectOwnKeys(window, "missing"), "has no access key");
    two->setToolTip(QStringLiteral("Ficha siguiente"));
    EXPECT_NONFATAL_FAILURE(expectTips(window, "tips"), "Uno \"&Salir\" has no tip");
    window.setMinimumHeight(700);
    EXPECT_NONFATAL_FAILURE(expectFits(window, "tall"), "tall");
}

// Alt with a button's key presses it, F1 goes to the help, Ctrl+Q ends the
// program.
TEST(KeyboardAndFit, MainWindowAnswersItsKeys)
{
    test::StartedProgram program;
    MainWindow& w = program.window();
    test::makeActive(&w);

    // Without its page the help says so: F1 went to the help handler.
    ASSERT_TRUE(QDir(helpFolder(program.home.path())).removeRecursively());
    test::keyInto(&w, Qt::Key_F1);
    ASSERT_EQ(program.prompter.shown().size(), 1);
    EXPECT_TRUE(program.prompter.shown()[0].text.contains(helpFileName(program.shell->context().LanguageCodeValue)))
        << program.prompter.shown()[0].text.toStdString();

    // The button shows itself pressed for a moment, then opens its dialog.
    bool asked = false;
    QTimer::singleShot(250, [&] {
        QWidget* d = QApplication::activeModalWidget();
        ASSERT_NE(d, nullptr);
        asked = true;
        EXPECT_EQ(d->objectName(), QStringLiteral("Form7"));
        d->close();
    });
    const QChar languageKey = accessKeyOf(w.button("SSCommandIdioma")->text());
    ASSERT_FALSE(languageKey.isNull());
    test::keyInto(&w, Qt::Key(languageKey.unicode()), Qt::AltModifier);
    test::letRun(400);
    EXPECT_TRUE(asked);

    bool finished = false;
    QObject::connect(program.shell.get(), &ApplicationShell::finished, [&] { finished = true; });
    test::makeActive(&w);
    test::keyInto(&w, Qt::Key_Q, Qt::ControlModifier);
    settle();
    EXPECT_TRUE(finished);
}

} // namespace
