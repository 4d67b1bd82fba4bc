// The windows chosen in another language show every caption translated and
// whole: longer translations must neither be cut off nor push a window off a
// small screen.
#include "app/exchange_sessions.h"
#include "i18n/gui/access_keys.h"
#include "i18n/gui/composite_controls.h"
#include "i18n/gui/form_registry.h"
#include "i18n/loc_guru.h"
#include "monitor/gui/monitor_window.h"
#include "programming/gui/week_schedule_window.h"
#include "programming/programming_store.h"
#include "support/layout_checks.h"
#include "support/started_program.h"

#include <QTabWidget>

using namespace tvq52;
using tvq52::test::settle;

namespace {

struct Language {
    const char* option; // the language dialog's choice
    const char* name;
    const char* programmingTitle;
    const char* exit; // the main window's Exit button
};

const Language kLanguages[] = {
    {"OptionIngles", "English", "Programming", "Exit"},       {"OptionAleman", "Deutsch", "Programmierung", "Beenden"},
    {"OptionCatalan", "Català", "Programació", "Surt"},       {"OptionFrances", "Français", "Programmation", "Quitter"},
    {"OptionItaliano", "Italiano", "Programmazione", "Esci"}, {"OptionPortugues", "Português", "Programação", "Sair"},
    {"OptionEspañol", "Español", "Programación", "Salir"},
};

// The captions, tips and composite texts a window shows, in the form the
// language database keys them.
QStringList shownTexts(QWidget& window)
{
    QStringList texts{window.windowTitle()};
    for (QObject* o : window.findChildren<QObject*>()) {
        if (walkSpecialControl(o, [&](const QString& text) {
                texts << text;
                return text;
            }))
            continue;
        auto* w = qobject_cast<QWidget*>(o);
        if (!w)
            continue;
        texts << w->toolTip();
        // Looked up as the language database keys it: without the access key.
        if (qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w))
            texts << withoutAccessKey(w->property("text").toString());
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
    window.resize(window.size().boundedTo(tvq52::test::kSmallScreen));
    window.show();
    settle();
    auto* tabs = window.findChild<QTabWidget*>();
    for (int page = 0; page < (tabs ? tabs->count() : 1); ++page) {
        if (tabs)
            tabs->setCurrentIndex(page);
        settle();
        EXPECT_TRUE(QRect(QPoint(), tvq52::test::kSmallScreen).contains(window.rect())) << name.toStdString();
        tvq52::test::expectWhole(window, tabs ? QStringLiteral("%1_page%2").arg(name).arg(page) : name);
    }
}

TEST(WindowsInOtherLanguages, EveryWindowShowsWholeTranslatedCaptions)
{
    tvq52::test::StartedProgram program;
    ApplicationShell& shell = *program.shell;
    {
        // A record that fills the programming window: a long venue, an interval, the correction of 4.0.
        Store store(*shell.context().db);
        ProgrammingRecord r = CreaProgramacio();
        r.serial = 123456;
        r.venue = QStringLiteral("Sala de conciertos La Estación");
        r.version = QStringLiteral("4.0");
        ProgIntervals intervals = unusedIntervals();
        intervals[0] = {QStringLiteral("24/12/10"), QStringLiteral("20:00"), QStringLiteral("26/12/10"),
                        QStringLiteral("08:00")};
        ASSERT_TRUE(GrabaProgramacio(store, r, intervals));
    }

    for (const Language& language : kLanguages) {
        program.chooseLanguage(language.option);
        ASSERT_EQ(shell.context().languageName, QString::fromUtf8(language.name));
        MainWindow& main = program.window();
        EXPECT_EQ(withoutAccessKey(main.button("SSCommandExit")->text()), QString::fromUtf8(language.exit));
        EXPECT_FALSE(accessKeyOf(main.button("SSCommandExit")->text()).isNull());
        EXPECT_EQ(main.windowTitle(), QStringLiteral("TVQ-52"));
        expectNoSpanishLeft(main, shell.context().guru, "Form1_" + std::string(language.name));
        checkPages(main, QStringLiteral("Form1_%1").arg(QString::fromUtf8(language.name)));
        // The windows are built as the program builds them, translated on creation.
        for (const char* form :
             {"Form2", "Form3", "Form5", "Form6", "Form8", "Form9", "Form10", "FormDiario", "FormHistorial"}) {
            // The monitor's registration outlives the context of the first
            // program in this process, so it is built on this one's.
            std::unique_ptr<QWidget> window;
            if (qstrcmp(form, "Form3") == 0) {
                window = std::make_unique<MonitorWindow>(shell.context().guru, program.prompter,
                                                         [&] { return openExchangeSession(shell.context()); });
            } else if (qstrcmp(form, "Form10") == 0) {
                // With hours in its fields, which must show whole.
                WeekSessions week;
                week.fill({QStringLiteral("20:00"), QStringLiteral("23:30")});
                window = std::make_unique<WeekScheduleWindow>(shell.context().guru, program.prompter, week,
                                                              QStringLiteral("22:00"), QStringLiteral("08:00"), [] {});
            } else {
                window = formRegistry().create(QString::fromLatin1(form));
            }
            ASSERT_NE(window, nullptr) << form;
            if (window->objectName() == QLatin1String("Form2")) {
                EXPECT_EQ(window->windowTitle(), QString::fromUtf8(language.programmingTitle));
            }
            const QString name =
                QStringLiteral("%1_%2").arg(QString::fromLatin1(form), QString::fromUtf8(language.name));
            expectNoSpanishLeft(*window, shell.context().guru, name.toStdString());
            checkPages(*window, name);
        }
    }
    EXPECT_TRUE(program.prompter.shown().isEmpty()) << program.prompter.shown().value(0).text.toStdString();
}

} // namespace
