// The windows chosen in another language show every caption translated and
// whole: longer translations must neither be cut off nor push a window off a
// small screen; each button and field label has an access key of its own and
// each button a tip.
#include "../language_db_fixture.h"
#include "app/data_folder.h"
#include "app/exchange_sessions.h"
#include "i18n/gui/access_keys.h"
#include "i18n/gui/composite_controls.h"
#include "i18n/gui/export_all_strings.h"
#include "i18n/gui/form_registry.h"
#include "i18n/translator.h"
#include "monitor/gui/monitor_window.h"
#include "programming/gui/week_schedule_window.h"
#include "programming/programming_store.h"
#include "reports/gui/report_preview.h"
#include "support/layout_checks.h"
#include "support/scripted_prompter.h"
#include "support/started_program.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDirIterator>
#include <QFile>
#include <QHash>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

using namespace tvq52;
using tvq52::test::settle;
using tvq52::test::usedNatives;

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
void expectNoSpanishLeft(QWidget& window, const Translator& translator, const std::string& where)
{
    for (const QString& text : shownTexts(window)) {
        const QString translated = translator.translate(text);
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
        // Whatever the screen and its scale: what does not fit it scrolls.
        const QRect frame = window.frameGeometry();
        EXPECT_TRUE(window.screen()->availableGeometry().contains(frame))
            << name.toStdString() << " at " << frame.x() << "," << frame.y() << " " << frame.width() << "x"
            << frame.height();
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

// Laid out for the room without scrolling: on a screen too small for it the
// window holds its contents in a scroll area, whose contents are measured.
void expectFits(QWidget& window, const std::string& at)
{
    const auto* area = window.findChild<QScrollArea*>(window.objectName() + QStringLiteral("Desplazable"));
    const QWidget& contents = area ? *area->widget() : window;
    const QSize least = contents.minimumSize().expandedTo(contents.minimumSizeHint());
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
        ProgrammingRecord r = defaultProgramming();
        r.serial = 123456;
        r.venue = QStringLiteral("Sala de conciertos La Estación");
        r.version = QStringLiteral("4.0");
        ProgIntervals intervals = unusedIntervals();
        intervals[0] = {QStringLiteral("24/12/10"), QStringLiteral("20:00"), QStringLiteral("26/12/10"),
                        QStringLiteral("08:00")};
        ASSERT_TRUE(saveProgramming(store, r, intervals));
    }

    const RenderedReport noPages; // the preview's own controls, in every language
    for (const auto& [option, languageName] : kLanguages) {
        program.chooseLanguage(option);
        ASSERT_EQ(shell.context().languageName, QString::fromUtf8(languageName));
        MainWindow& main = program.window();
        EXPECT_FALSE(accessKeyOf(main.button("SSCommandExit")->text()).isNull());
        EXPECT_EQ(main.windowTitle(), QStringLiteral("TVQ-52"));
        // Every window as the program builds it, translated on creation.
        for (const QString& form : formRegistry().names() + QStringList{QStringLiteral("ReportPreviewWindow")}) {
            // The monitor's registration outlives the context of the first
            // program in this process, so it is built on this one's.
            std::unique_ptr<QWidget> made;
            if (form == QLatin1String("Form3")) {
                made = std::make_unique<MonitorWindow>(shell.context().translator, program.prompter, [&](Line*, Clock*) {
                    return openExchangeSession(shell.context());
                });
            } else if (form == QLatin1String("Form10")) {
                // With hours in its fields, which must show whole.
                WeekSessions week;
                week.fill({QStringLiteral("20:00"), QStringLiteral("23:30")});
                made = std::make_unique<WeekScheduleWindow>(shell.context().translator, program.prompter, week,
                                                            QStringLiteral("22:00"), QStringLiteral("08:00"), [] {});
            } else if (form == QLatin1String("ReportPreviewWindow")) {
                made = std::make_unique<ReportPreviewWindow>(noPages, program.prompter, shell.context().translator);
            } else if (form != QLatin1String("Form1")) {
                made = formRegistry().create(form);
            }
            // The main window is translated by start-up: the one running.
            QWidget& window = made ? *made : main;
            ASSERT_EQ(window.objectName(), form);
            // Each window says what it is for, in the task bar too.
            if (&window != &main && form != QLatin1String("ReportPreviewWindow")) {
                EXPECT_TRUE(window.windowTitle().endsWith(QLatin1String(" - TVQ-52")))
                    << form.toStdString() << ": " << window.windowTitle().toStdString();
            }
            const QString name = QStringLiteral("%1_%2").arg(form, QString::fromUtf8(languageName));
            const std::string at = name.toStdString();
            expectNoSpanishLeft(window, shell.context().translator, at);
            checkPages(window, name);
            EXPECT_GE(window.width(), window.fontMetrics().horizontalAdvance(window.windowTitle()))
                << at << ": the title is cut";
            if (form == QLatin1String("ReportPreviewWindow"))
                continue; // the preview has no access keys or tips of its own yet
            expectOwnKeys(window, at);
            expectTips(window, at);
            expectFits(window, at);
        }
    }
    EXPECT_TRUE(program.prompter.shown().isEmpty()) << program.prompter.shown().value(0).text.toStdString();
}

} // namespace

// Every native text a window shows must reach the six other languages: the
// export collects the texts the translators get, and the shipped language
// database must answer each of them.
namespace {

const QStringList kTranslatedColumns = {
    QStringLiteral("Català"),   QStringLiteral("English"),  QStringLiteral("Deutsch"),
    QStringLiteral("Français"), QStringLiteral("Italiano"), QStringLiteral("Português"),
};

struct ShippedRow {
    bool skip = false;
    QStringList translations; // in kTranslatedColumns order
};

QHash<QString, ShippedRow> readLanguageDb(const QString& path)
{
    QHash<QString, ShippedRow> rows;
    const QString select =
        QStringLiteral("SELECT Native, bSkip, \"%1\" FROM LocGuru").arg(kTranslatedColumns.join("\", \""));
    for (const QVariantList& r : tvq52::test::queryRows(path, select)) {
        ShippedRow row{r[1].toInt() != 0, {}};
        for (int i = 0; i < kTranslatedColumns.size(); ++i)
            row.translations << r[2 + i].toString();
        rows.insert(r[0].toString(), row);
    }
    return rows;
}

// The languages a native text still lacks; empty when it is translated
// everywhere or marked as never translated.
QStringList missingLanguages(const QHash<QString, ShippedRow>& shipped, const QString& native)
{
    const auto it = shipped.constFind(native);
    if (it == shipped.constEnd())
        return kTranslatedColumns;
    if (it->skip)
        return {};
    QStringList missing;
    for (int i = 0; i < kTranslatedColumns.size(); ++i)
        if (it->translations[i].trimmed().isEmpty())
            missing.append(kTranslatedColumns[i]);
    return missing;
}

// Shows CR and LF the way the language source writes them.
std::string readable(QString text)
{
    text.replace(QLatin1Char('\r'), QLatin1String("{\\r}"));
    text.replace(QLatin1Char('\n'), QLatin1String("{\\n}"));
    return text.toStdString();
}

void expectTranslated(const QStringList& natives, const QHash<QString, ShippedRow>& shipped, const char* where)
{
    for (const QString& native : natives) {
        const QStringList missing = missingLanguages(shipped, native);
        if (!missing.isEmpty())
            ADD_FAILURE() << where << ": \"" << readable(native) << "\" has no " << missing.join(", ").toStdString()
                          << " in the shipped Language.db";
    }
}

QString shippedDatabase()
{
    return QStringLiteral(TVQ52_ASSET_DIR "/Language.db");
}

// The export as the main window runs it, over the program's own windows.
TEST(WindowTexts, EveryTextTheExportCollectsIsTranslatedInEveryLanguage)
{
    const QHash<QString, ShippedRow> shipped = readLanguageDb(shippedDatabase());
    ASSERT_FALSE(shipped.isEmpty());

    // Window titles that show the program's name see it as the program sets it.
    const QString testName = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName(QStringLiteral("tvq52"));
    const auto restoreName = qScopeGuard([&] { QCoreApplication::setApplicationName(testName); });

    tvq52::test::StartedProgram program;
    ASSERT_NE(program.shell->mainWindow(), nullptr);
    const QString exported = program.home.file(QStringLiteral("Language.db"));
    // The main window's button first gives the data folder its copy.
    ASSERT_TRUE(prepareLanguageExport(program.home.path(), QStringLiteral(TVQ52_ASSET_DIR)).ok());
    ASSERT_TRUE(QFile::exists(exported));
    ASSERT_TRUE(ExportAllStrings(program.shell->context().translator, formRegistry(), program.home.path(), program.prompter));
    EXPECT_TRUE(program.prompter.shown().isEmpty()) << program.prompter.shown().value(0).text.toStdString();

    for (const char* form : {"Form1", "Form2", "Form3", "Form4", "Form5", "Form7", "Form8", "Form10", "FormDiario"})
        EXPECT_TRUE(formRegistry().contains(QString::fromLatin1(form))) << form << " is not exported";

    const QStringList used = tvq52::test::usedNatives(exported);
    // The catalogue alone gives 178; the windows add their own.
    EXPECT_GT(used.size(), 178 + 80);
    expectTranslated(used, shipped, "exported text");
}

// Texts that code translates by their native text, outside any window walk.
TEST(WindowTexts, TextsCodeTranslatesDirectlyAreTranslatedInEveryLanguage)
{
    const QHash<QString, ShippedRow> shipped = readLanguageDb(shippedDatabase());
    const QRegularExpression call(
        QStringLiteral(R"re(translate\(\s*QStringLiteral\("((?:[^"\\]|\\.)*)"\s*\)\s*\))re"));
    QStringList natives;
    QDirIterator it(QStringLiteral(TVQ52_SOURCE_DIR "/src"), {QStringLiteral("*.cpp"), QStringLiteral("*.h")},
                    QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
        const QString source = QString::fromUtf8(file.readAll());
        for (auto m = call.globalMatch(source); m.hasNext();) {
            QString text = m.next().captured(1);
            text.replace(QLatin1String("\\\""), QLatin1String("\""));
            text.replace(QLatin1String("\\r"), QLatin1String("\r"));
            text.replace(QLatin1String("\\n"), QLatin1String("\n"));
            text.replace(QLatin1String("\\\\"), QLatin1String("\\"));
            natives.append(text);
        }
    }
    // The help texts at least are looked up this way.
    EXPECT_TRUE(natives.contains(QStringLiteral("No se encuentra la ayuda")));
    expectTranslated(natives, shipped, "text translated in code");
}

std::unique_ptr<QWidget> window(const QString& name, const QStringList& texts)
{
    auto w = std::make_unique<QDialog>();
    w->setObjectName(name);
    for (const QString& t : texts)
        new QPushButton(t, w.get());
    return w;
}

class ExportAll : public ::testing::Test {
protected:
    void SetUp() override
    {
        tvq52::test::writeLanguageDb(dir.filePath("Language.db"), {{"Aceptar", "OK"}, {"Viejo", "Old"}});
        installWidgetTranslation(translator);
        translator.foreignColumnName = "English";
        ASSERT_TRUE(translator.openLanguageDatabase(dir.filePath("Language.db"), true, Translator::SqlDb));
    }
    QTemporaryDir dir;
    Translator translator;
    tvq52::test::ScriptedPrompter prompter;
};

TEST_F(ExportAll, WalksTheRegisteredWindowsInOrderAndReopens)
{
    FormRegistry registry;
    QStringList built;
    QList<QPointer<QWidget>> windows;
    auto track = [&](const QString& name, const QStringList& texts) {
        return [&, name, texts] {
            built << name;
            auto w = window(name, texts);
            // A window built during the export is not translated.
            translator.translateWindow(w.get());
            windows << w.get();
            return w;
        };
    };
    registry.add("Form7", track("Form7", {"Aceptar", "Cancelar"}));
    registry.add("Form1", track("Form1", {"Salir"}));
    registry.add("Form16", track("Form16", {"Importar"}));
    registry.add("Form4", [&] {
        built << "Form4";
        auto w = window("Form4", {});
        auto* model = new QStandardItemModel(0, 1, w.get());
        model->setHorizontalHeaderLabels({QString::fromUtf8("LeqSesión\ndBA")});
        (new QTableView(w.get()))->setModel(model);
        (new QLabel("Oculto", w.get()))->setProperty("Tag", "!");
        return w;
    });

    ASSERT_TRUE(ExportAllStrings(translator, registry, dir.path(), prompter));
    EXPECT_TRUE(prompter.shown().isEmpty());
    EXPECT_EQ(built, QStringList({"Form1", "Form4", "Form7"}));
    for (const auto& w : windows)
        EXPECT_TRUE(w.isNull()) << "the export keeps no window";

    const QStringList used = usedNatives(dir.filePath("Language.db"));
    // The heading is catalogue text 42 already.
    EXPECT_EQ(used.size(), 178 + 3);
    for (const char* text : {"Aceptar", "Cancelar", "Salir", "LeqSesión\rdBA"})
        EXPECT_TRUE(used.contains(QString::fromUtf8(text))) << text;
    EXPECT_FALSE(used.contains("Importar"));
    EXPECT_FALSE(used.contains("Oculto"));
    EXPECT_FALSE(used.contains("Viejo"));

    // The language in use before is back.
    EXPECT_EQ(translator.languageDatabase(), dir.filePath("Language.db"));
    EXPECT_EQ(translator.translate("Aceptar"), "OK");
}

TEST_F(ExportAll, AMissingDatabaseIsReportedNotCreated)
{
    QTemporaryDir empty;
    FormRegistry registry;
    EXPECT_FALSE(ExportAllStrings(translator, registry, empty.path(), prompter));
    ASSERT_EQ(prompter.shown().size(), 1);
    EXPECT_EQ(prompter.shown()[0].style, MessageStyle::Exclamation);
    EXPECT_TRUE(prompter.shown()[0].text.contains(QDir(empty.path()).filePath("Language.db")));
    EXPECT_FALSE(QFileInfo::exists(QDir(empty.path()).filePath("Language.db")));
    EXPECT_EQ(translator.translate("Aceptar"), "OK");
}

} // namespace
