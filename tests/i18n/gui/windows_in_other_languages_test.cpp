// The windows chosen in another language show every caption translated and
// whole: longer translations must neither be cut off nor push a window off a
// small screen; each button and field label has an access key of its own and
// each button a tip.
#include "app/exchange_sessions.h"
#include "i18n/gui/access_keys.h"
#include "i18n/gui/composite_controls.h"
#include "i18n/gui/form_registry.h"
#include "i18n/loc_guru.h"
#include "monitor/gui/monitor_window.h"
#include "programming/gui/week_schedule_window.h"
#include "programming/programming_store.h"
#include "reports/gui/report_preview.h"
#include "support/layout_checks.h"
#include "support/started_program.h"

#include <QPushButton>
#include <QTabWidget>
#include <gtest/gtest-spi.h>

using namespace tvq52;
using tvq52::test::settle;

namespace {

// The language dialog's choices and the names they give.
const std::pair<const char*, const char*> kLanguages[] = {
    {"OptionIngles", "English"},     {"OptionAleman", "Deutsch"},        {"OptionCatalan", "Català"},
    {"OptionFrances", "Français"},   {"OptionItaliano", "Italiano"},     {"OptionPortugues", "Português"},
    {"OptionEspañol", "Español"},
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

TEST(WindowsInOtherLanguages, TheKeyAndFitChecksCatchAMissingAndASharedKey)
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

TEST(WindowsInOtherLanguages, EveryWindowShowsWholeTranslatedCaptionsWithItsKeysAndTips)
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

    const RenderedReport noPages; // the preview's own controls, in every language
    for (const auto& [option, languageName] : kLanguages) {
        program.chooseLanguage(option);
        ASSERT_EQ(shell.context().languageName, QString::fromUtf8(languageName));
        MainWindow& main = program.window();
        EXPECT_FALSE(accessKeyOf(main.button("SSCommandExit")->text()).isNull());
        EXPECT_EQ(main.windowTitle(), QStringLiteral("TVQ-52"));
        // Every window as the program builds it, translated on creation.
        for (const QString& form : formRegistry().names() + QStringList{QStringLiteral("Form15")}) {
            // The monitor's registration outlives the context of the first
            // program in this process, so it is built on this one's.
            std::unique_ptr<QWidget> made;
            if (form == QLatin1String("Form3")) {
                made = std::make_unique<MonitorWindow>(shell.context().guru, program.prompter,
                                                       [&] { return openExchangeSession(shell.context()); });
            } else if (form == QLatin1String("Form10")) {
                // With hours in its fields, which must show whole.
                WeekSessions week;
                week.fill({QStringLiteral("20:00"), QStringLiteral("23:30")});
                made = std::make_unique<WeekScheduleWindow>(shell.context().guru, program.prompter, week,
                                                            QStringLiteral("22:00"), QStringLiteral("08:00"), [] {});
            } else if (form == QLatin1String("Form15")) {
                made = std::make_unique<Form15>(noPages, program.prompter, shell.context().guru);
            } else if (form != QLatin1String("Form1")) {
                made = formRegistry().create(form);
            }
            // The main window is translated by start-up: the one running.
            QWidget& window = made ? *made : main;
            ASSERT_EQ(window.objectName(), form);
            const QString name = QStringLiteral("%1_%2").arg(form, QString::fromUtf8(languageName));
            const std::string at = name.toStdString();
            expectNoSpanishLeft(window, shell.context().guru, at);
            checkPages(window, name);
            if (form == QLatin1String("Form15"))
                continue; // the preview has no access keys or tips of its own yet
            expectOwnKeys(window, at);
            expectTips(window, at);
            expectFits(window, at);
        }
    }
    EXPECT_TRUE(program.prompter.shown().isEmpty()) << program.prompter.shown().value(0).text.toStdString();
}

} // namespace
