// The windows chosen in another language keep every caption whole: longer
// translations must neither be cut off nor push a window off a small screen.
#include "app/exchange_sessions.h"
#include "i18n/gui/composite_controls.h"
#include "i18n/gui/form_registry.h"
#include "i18n/loc_guru.h"
#include "monitor/gui/monitor_window.h"
#include "started_program.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <gtest/gtest.h>

using namespace tvq52;

namespace {

// The smallest screen the program is laid out for.
constexpr QSize kSmallScreen(1024, 768);

struct Language {
    const char* option;   // the language dialog's choice
    const char* name;
    const char* programmingTitle;
};

const Language kLanguages[] = {
    {"OptionIngles", "English", "Programming"},      {"OptionAleman", "Deutsch", "Programmierung"},
    {"OptionCatalan", "Català", "Programació"},      {"OptionFrances", "Français", "Programmation"},
    {"OptionItaliano", "Italiano", "Programmazione"}, {"OptionPortugues", "Português", "Programação"},
    {"OptionEspañol", "Español", "Programación"},
};

void settle()
{
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

// Picks the language in the language dialog, as a user does.
void chooseLanguage(ApplicationShell& shell, const char* option)
{
    bool picked = false;
    QTimer::singleShot(0, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        auto* radio = dialog->findChild<QRadioButton*>(QString::fromUtf8(option));
        ASSERT_NE(radio, nullptr) << option;
        radio->click();
        dialog->findChild<QPushButton*>(QStringLiteral("SSCommandAceptar"))->click();
        picked = true;
    });
    shell.mainWindow()->button("SSCommandIdioma")->click();
    ASSERT_TRUE(picked);
    settle();
}

std::string caption(const QWidget* w)
{
    for (const char* property : {"text", "title"}) {
        const QString text = w->property(property).toString();
        if (!text.isEmpty())
            return text.toStdString();
    }
    return w->objectName().toStdString();
}

// On the small screen: the window fits it, each caption gets the width its
// text needs and every tab shows without scrolling.
void expectWhole(QWidget& window, const std::string& where)
{
    EXPECT_LE(window.minimumSizeHint().width(), kSmallScreen.width()) << where;
    EXPECT_LE(window.minimumSizeHint().height(), kSmallScreen.height()) << where;
    EXPECT_LE(window.width(), kSmallScreen.width()) << where;
    EXPECT_LE(window.height(), kSmallScreen.height()) << where;
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (!w->isVisible())
            continue;
        if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QLabel*>(w) || qobject_cast<QGroupBox*>(w)) {
            EXPECT_GE(w->width(), w->minimumSizeHint().width())
                << where << ": \"" << caption(w) << "\" is cut off";
        }
        if (auto* bar = qobject_cast<QTabBar*>(w)) {
            for (int i = 0; i < bar->count(); ++i) {
                EXPECT_TRUE(bar->rect().contains(bar->tabRect(i)))
                    << where << ": tab \"" << bar->tabText(i).toStdString() << "\" is out of sight";
            }
        }
    }
}

// The captions, tips and composite texts a window shows, in the form the
// language database keys them.
QStringList shownTexts(QWidget& window)
{
    QStringList texts{window.windowTitle()};
    for (QObject* o : window.findChildren<QObject*>()) {
        if (walkSpecialControl(o, [&](const QString& text) { texts << text; return text; }))
            continue;
        auto* w = qobject_cast<QWidget*>(o);
        if (!w)
            continue;
        texts << w->toolTip();
        if (qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w))
            texts << w->property("text").toString();
        else if (auto* box = qobject_cast<QGroupBox*>(w))
            texts << box->title();
    }
    texts.removeAll(QString());
    return texts;
}

// A text the language database would still translate was left in Spanish.
void expectNoSpanishLeft(QWidget& window, const LocGuru& guru, const std::string& where)
{
    for (const QString& text : shownTexts(window)) {
        const QString translated = guru.GetTranslation(text);
        EXPECT_EQ(text, translated) << where << ": \"" << text.toStdString() << "\" is shown untranslated";
    }
}

// Every page of a window with tabs, or the window itself.
void checkPages(QWidget& window, const QString& name)
{
    window.resize(window.size().boundedTo(kSmallScreen));
    window.show();
    settle();
    auto* tabs = window.findChild<QTabWidget*>();
    for (int page = 0; page < (tabs ? tabs->count() : 1); ++page) {
        if (tabs)
            tabs->setCurrentIndex(page);
        settle();
        const QString shot = tabs ? QStringLiteral("%1_page%2").arg(name).arg(page) : name;
        expectWhole(window, shot.toStdString());
    }
}

TEST(WindowsInOtherLanguages, ProgrammingMonitorAndWeekScheduleShowWholeCaptions)
{
    tvq52::test::StartedProgram program;
    ApplicationShell& shell = *program.shell;
    ASSERT_NE(shell.mainWindow(), nullptr);

    for (const Language& language : kLanguages) {
        chooseLanguage(shell, language.option);
        ASSERT_EQ(shell.context().languageName, QString::fromUtf8(language.name));
        // The windows are built as the program builds them, translated on creation.
        for (const char* form : {"Form2", "Form3", "Form10"}) {
            // The monitor's registration outlives the context of the first
            // program in this process, so it is built on this one's.
            std::unique_ptr<QWidget> window = qstrcmp(form, "Form3") == 0
                ? std::make_unique<MonitorWindow>(shell.context().guru, program.prompter,
                                                  [&] { return openExchangeSession(shell.context()); })
                : formRegistry().create(QString::fromLatin1(form));
            ASSERT_NE(window, nullptr) << form;
            if (window->objectName() == QLatin1String("Form2")) {
                EXPECT_EQ(window->windowTitle(), QString::fromUtf8(language.programmingTitle));
            }
            const QString name = QStringLiteral("%1_%2").arg(QString::fromLatin1(form), QString::fromUtf8(language.name));
            expectNoSpanishLeft(*window, shell.context().guru, name.toStdString());
            checkPages(*window, name);
        }
    }
    EXPECT_TRUE(program.prompter.shown().isEmpty()) << program.prompter.shown().value(0).text.toStdString();
}

} // namespace
