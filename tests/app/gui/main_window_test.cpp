#include "app/app_context.h"
#include "app/data_folder.h"
#include "app/gui/window_needs.h"
#include "app/ini_file.h"
#include "app/language_table.h"
#include "app/settings.h"
#include "app/window_places.h"
#include "i18n/gui/access_keys.h"
#include "monitor/gui/monitor_window.h"
#include "programming/gui/programming_window.h"
#include "programming/programming_store.h"
#include "records/gui/collect_window.h"
#include "records/gui/fleet_view.h"
#include "records/outcome_text.h"
#include "records/gui/recorded_data_window.h"
#include "reports/gui/graph_window.h"
#include "support/fake_collect_worker.h"
#include "support/file_bytes.h"
#include "support/layout_checks.h"
#include "support/key_presses.h"
#include "support/started_program.h"

#include "db/database.h"
#include "evidence/journal.h"
#include "support/result_checks.h"
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QTableWidget>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QSqlQuery>
#include <QTemporaryDir>

using namespace tvq52;
using namespace tvq52::test;

namespace {

QString setting(const TempHome& home, const char* key)
{
    return ReadSetting(QStringLiteral("Configuration"), QString::fromLatin1(key), QStringLiteral("<none>"),
                       settingsPath(home.path()));
}

} // namespace

TEST(MainWindow, CommunicationDialogStaysOpenOnABadPortAndWritesTheSettingsOnAccept)
{
    StartedProgram s;
    bool stillOpen = false;
    whenModal([&](QWidget* d) {
        EXPECT_EQ(d->objectName(), QStringLiteral("Form4"));
        auto* port = child<QComboBox>(d, "ComboPort");
        EXPECT_EQ(port->currentText(), QStringLiteral("1"));
        EXPECT_EQ(port->itemText(98), QStringLiteral("99"));
        EXPECT_TRUE(child<QRadioButton>(d, "OptionRs")->isChecked());
        EXPECT_TRUE(child<QRadioButton>(d, "OptionTonos")->isChecked());
        port->setCurrentText(QStringLiteral("puerto"));
        child<QPushButton>(d, "SSCommandAceptar")->click();
        stillOpen = d->isVisible();
        port->setCurrentText(QStringLiteral("5"));
        child<QRadioButton>(d, "OptionModem")->setChecked(true);
        child<QRadioButton>(d, "OptionPulsos")->setChecked(true);
        child<QLineEdit>(d, "MaskPrefijo")->setText(QStringLiteral("0"));
        child<QPushButton>(d, "SSCommandAceptar")->click();
    });
    child<QPushButton>(&s.window(), "SSCommandPort")->click();
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(s.prompter.catalogueIds(), QList<int>({106}));
    EXPECT_EQ(setting(s.home, "SerialPort"), QStringLiteral("5"));
    EXPECT_EQ(setting(s.home, "Modem"), QStringLiteral("1"));
    EXPECT_EQ(setting(s.home, "TonePulse"), QStringLiteral("0"));
    EXPECT_EQ(setting(s.home, "DialCode"), QStringLiteral("0"));
}

// Alt with a button's key presses it, F1 goes to the help, Ctrl+Q ends the
// program.
TEST(MainWindow, AnswersItsKeys)
{
    StartedProgram program;
    MainWindow& w = program.window();
    test::makeActive(&w);

    // Without the manual installed the help says so: F1 went to the help handler.
    QTemporaryDir noManual;
    qputenv("TVQ52_ASSETS", noManual.path().toUtf8());
    test::keyInto(&w, Qt::Key_F1);
    qunsetenv("TVQ52_ASSETS");
    ASSERT_EQ(program.prompter.shown().size(), 1);
    EXPECT_TRUE(program.prompter.shown()[0].text.contains(
        helpPage(program.shell->context().LanguageCodeValue, QStringLiteral("index"))))
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

// The box takes the fifty characters its prompt promises and no more.
TEST(MainWindow, FooterTextIsAskedWithTheCatalogueTextsAndCancelKeepsIt)
{
    StartedProgram s;
    const QString typed = QStringLiteral("Ayuntamiento de Villanueva de la Serena, Oficina Técnica de Medio Ambiente");
    const QString footer = typed.left(50);
    s.prompter.inputAnswer(typed);
    child<QPushButton>(&s.window(), "SSCommandUsuario")->click();
    EXPECT_EQ(s.prompter.inputPrompts(), QStringList{s.shell->context().translator.text(22)});
    EXPECT_TRUE(s.prompter.shown().isEmpty());
    EXPECT_EQ(setting(s.home, "User"), footer);
    EXPECT_EQ(s.shell->context().ReportFooterText, footer);

    s.prompter.inputAnswer(std::nullopt);
    child<QPushButton>(&s.window(), "SSCommandUsuario")->click();
    EXPECT_EQ(s.shell->context().ReportFooterText, footer);
}

TEST(MainWindow, LanguageAcceptReloadsTheMainWindowAndCancelChangesNothing)
{
    StartedProgram s;
    MainWindow* first = &s.window();
    whenModal([](QWidget* d) {
        EXPECT_EQ(d->objectName(), QStringLiteral("Form7"));
        EXPECT_TRUE(child<QRadioButton>(d, "OptionEspañol")->isChecked());
        child<QRadioButton>(d, "OptionAleman")->setChecked(true);
        child<QPushButton>(d, "SSCommandCancelar")->click();
    });
    child<QPushButton>(first, "SSCommandIdioma")->click();
    QApplication::processEvents();
    EXPECT_EQ(s.shell->mainWindow(), first);
    EXPECT_EQ(setting(s.home, "Language"), QStringLiteral("1034"));

    // One programming window for the run, shown again after a close.
    child<QPushButton>(first, "SSCommandProgramacion")->click();
    QWidget* programming = first->findChild<QWidget*>(QStringLiteral("Form2"));
    ASSERT_TRUE(programming && programming->isWindow());
    programming->close();
    child<QPushButton>(first, "SSCommandProgramacion")->click();
    EXPECT_EQ(first->findChildren<QWidget*>(QStringLiteral("Form2")).size(), 1);
    ASSERT_TRUE(programming->isVisible());

    // The programming window holds edits when the language changes.
    child<QLineEdit>(programming, "MaskNumeroSerie")->setText(QStringLiteral("4711"));
    child<QLineEdit>(programming, "MaskLocal")->setText(QStringLiteral("Sala Apolo"));
    // Edits whose save fails a check keep the window, and the language waits.
    child<QLineEdit>(programming, "MaskDiaLocal")->setText(QStringLiteral("7"));
    s.chooseLanguage("OptionIngles");
    EXPECT_EQ(s.shell->mainWindow(), first);
    EXPECT_TRUE(programming->isVisible());
    EXPECT_EQ(setting(s.home, "Language"), QStringLiteral("1034"));
    EXPECT_EQ(child<QLineEdit>(programming, "MaskLocal")->text().trimmed(), QStringLiteral("Sala Apolo"));

    child<QLineEdit>(programming, "MaskDiaLocal")->setText(QStringLiteral("80"));
    s.chooseLanguage("OptionIngles");
    EXPECT_TRUE(s.prompter.catalogueIds().contains(23)) << "the edits were offered for saving before the window went";
    EXPECT_EQ(setting(s.home, "Language"), QStringLiteral("1033"));
    ASSERT_NE(s.shell->mainWindow(), nullptr);
    EXPECT_TRUE(s.shell->mainWindow()->isVisible());
    EXPECT_EQ(s.shell->context().LanguageCodeValue, 3000);
    // The unload wrote the settings row before the reload reopened the database.
    ASSERT_TRUE(s.shell->context().db);
    EXPECT_EQ(s.configuration().value(QStringLiteral("IIdioma")).toInt(), 3000);
    Store store(*s.shell->context().db);
    const auto saved = test::take(loadProgramming(store, 4711));
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->record.venue, QStringLiteral("Sala Apolo"));
}

TEST(MainWindow, ExitWritesTheSettingsRowAndClosesTheDatabase)
{
    StartedProgram s;
    s.shell->context().lineSettings.SerialPort = 9;
    bool finished = false;
    QObject::connect(s.shell.get(), &ApplicationShell::finished, [&] { finished = true; });
    {
        // Keep a second connection to read the row after the window closes it.
        auto reader = test::take(Database::openSqlite(databasePath(s.home.path())));
        child<QPushButton>(&s.window(), "SSCommandExit")->click();
        EXPECT_TRUE(finished);
        EXPECT_FALSE(s.shell->context().db);
        Store store(*reader);
        const Row row = test::take(store.select(QStringLiteral("Configuracion"))).value(0);
        EXPECT_EQ(row.value(QStringLiteral("ByCom")).toInt(), 9);
    }
}

TEST(MainWindow, SerialOnTheCommandLineOpensTheProgrammingWindowFirst)
{
    bool sawForm2 = false;
    bool mainShownMeanwhile = true;
    QTimer::singleShot(0, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() == QStringLiteral("Form2") && w->isVisible()) {
                sawForm2 = true;
                EXPECT_EQ(w->windowModality(), Qt::ApplicationModal);
                w->close();
            }
            if (w->objectName() == QStringLiteral("Form1"))
                mainShownMeanwhile = w->isVisible();
        }
    });
    StartedProgram s(QStringLiteral("4711"));
    EXPECT_TRUE(sawForm2);
    EXPECT_FALSE(mainShownMeanwhile);
    EXPECT_TRUE(s.window().isVisible());
    EXPECT_EQ(s.shell->context().CommandLineFile, QStringLiteral("4711"));
}

TEST(MainWindow, ExportWritesWindowTextsIntoTheLanguageDatabaseAndEnds)
{
    StartedProgram s;
    bool finished = false;
    QObject::connect(s.shell.get(), &ApplicationShell::finished, [&] { finished = true; });
    QPushButton* exportButton = child<QPushButton>(&s.window(), "CommandExportar");
    ASSERT_TRUE(exportButton->isEnabled());
    exportButton->click();
    EXPECT_TRUE(finished);
    // The settings row is still written once, by the real window, not by the copies.
    auto lang = test::take(Database::openSqlite(languageDatabasePath(s.home.path())));
    ASSERT_TRUE(lang);
    QSqlQuery q(lang->connection());
    for (const char* text : {"Comunicaciones", "Cable directo RS-232", "Importando datos"}) {
        q.prepare(QStringLiteral("SELECT bIsUsed FROM LocGuru WHERE Native = ?"));
        q.addBindValue(QString::fromUtf8(text));
        ASSERT_TRUE(q.exec() && q.next()) << text;
        EXPECT_TRUE(q.value(0).toBool()) << text;
    }
}

TEST(MainWindow, ASecondStartAndExitChangesNeitherTheSettingsNorTheDatabase)
{
    TempHome home;
    ScriptedPrompter prompter;
    auto startAndExit = [&] {
        ApplicationShell shell(home.path(), {}, &prompter);
        shell.start();
        child<QPushButton>(shell.mainWindow(), "SSCommandExit")->click();
    };
    ASSERT_TRUE(provisionDataFolder(home.path()).ok());
    startAndExit();
    auto read = [](const QString& path) { return tvq52::test::readBytes(path); };
    const QByteArray ini = read(settingsPath(home.path()));
    const QByteArray db = read(databasePath(home.path()));
    ASSERT_FALSE(db.isEmpty());
    ASSERT_TRUE(provisionDataFolder(home.path()).ok());
    startAndExit();
    EXPECT_EQ(read(settingsPath(home.path())), ini);
    EXPECT_EQ(read(databasePath(home.path())), db);
    EXPECT_TRUE(prompter.shown().isEmpty());
}

// The file button: a database of this program merges, with the panel up
// while it runs; other kinds are told what is wrong; Cancel says nothing.
TEST(MainWindow, FileButtonMergesDatabasesAndTellsWhyOtherFilesCannotBeOpened)
{
    StartedProgram s;
    {
        ASSERT_TRUE(test::succeeded(Database::createSqlite(s.home.file(QStringLiteral("Oficina.DB")))));
        auto other = test::take(Database::openSqlite(s.home.file(QStringLiteral("Oficina.DB"))));
        ASSERT_TRUE(QSqlQuery(other->connection())
                        .exec(QStringLiteral("INSERT INTO Programacion (LNumeroSerie) VALUES (8080)")));
    }
    s.home.writeFile(QStringLiteral("viejo.MdB"), "Standard Jet DB");
    s.home.writeFile(QStringLiteral("notas.txt"), "texto");
    QPushButton* fileButton = s.window().button("SSCommand1");
    ASSERT_TRUE(fileButton->isEnabled());

    struct Case {
        const char* file;
        QList<int> catalogue; // catalogue texts shown (0: a text of its own)
        int shown;            // messages shown in all
    };
    const Case cases[] = {
        {"", {}, 0},     // Cancel
        {"*.db", {}, 0}, // left without a choice
        {"notas.txt", {143}, 1},
        {"viejo.MdB", {0}, 1},  // told in words, not as a wrong format
        {"Oficina.DB", {0}, 1}, // the summary
    };
    for (const Case& c : cases) {
        s.prompter.clear();
        const QString name = QString::fromLatin1(c.file);
        s.prompter.fileAnswer(name.isEmpty() || name.startsWith(QLatin1Char('*')) ? name : s.home.file(name));
        fileButton->click();
        EXPECT_EQ(s.prompter.catalogueIds(), c.catalogue) << c.file;
        ASSERT_EQ(s.prompter.shown().size(), c.shown) << c.file;
        EXPECT_TRUE(s.shell->context().SelectedFile.isEmpty());
    }
    // The last case's summary: one unit added.
    EXPECT_TRUE(s.prompter.shown()[0].text.contains(QStringLiteral("Programacion: 1 ")))
        << s.prompter.shown()[0].text.toStdString();
    const Message access = [&] {
        s.prompter.clear();
        s.prompter.fileAnswer(s.home.file(QStringLiteral("viejo.MdB")));
        fileButton->click();
        return s.prompter.shown().value(0);
    }();
    EXPECT_TRUE(access.text.contains(QStringLiteral("Access"))) << access.text.toStdString();
    QSqlQuery q(s.shell->context().db->connection());
    ASSERT_TRUE(q.exec(QStringLiteral("SELECT count(*) FROM Programacion WHERE LNumeroSerie = 8080")) && q.next());
    EXPECT_EQ(q.value(0).toInt(), 1);
    EXPECT_FALSE(s.window().findChild<QWidget*>(QStringLiteral("SSPanel1"))->isVisible());
}

// Stop on the merge's panel ends it before the next table: what was merged
// stays, the journal says it was stopped, and the summary says where.
TEST(MainWindow, AMergeStoppedFromItsPanelKeepsTheTablesBefore)
{
    StartedProgram s;
    {
        ASSERT_TRUE(test::succeeded(Database::createSqlite(s.home.file(QStringLiteral("Oficina.DB")))));
        auto other = test::take(Database::openSqlite(s.home.file(QStringLiteral("Oficina.DB"))));
        ASSERT_TRUE(QSqlQuery(other->connection())
                        .exec(QStringLiteral("INSERT INTO Programacion (LNumeroSerie) VALUES (8080)")));
    }
    QObject::connect(&s.window(), &MainWindow::mergeProgressed, [&s](int index, int) {
        EXPECT_TRUE(s.window().findChild<QWidget*>(QStringLiteral("SSPanel1"))->isVisible());
        EXPECT_FALSE(s.window().button("SSCommand1")->isEnabled()) << "one merge at a time";
        if (index == 1)
            s.window().button("SSCommandPararFusion")->click();
    });
    s.prompter.fileAnswer(s.home.file(QStringLiteral("Oficina.DB")));
    s.window().button("SSCommand1")->click();
    ASSERT_EQ(s.prompter.shown().size(), 1);
    const QString stopped = s.shell->context().translator.translate(QStringLiteral(
        "Fusión parada en la tabla %1: las tablas anteriores están guardadas; %1 y las siguientes no. Vuelva a "
        "fusionar para terminar (lo ya guardado no se repite)."));
    EXPECT_TRUE(s.prompter.shown()[0].text.contains(stopped.left(stopped.indexOf(QStringLiteral("%1")))))
        << s.prompter.shown()[0].text.toStdString();
    QSqlQuery q(s.shell->context().db->connection());
    ASSERT_TRUE(q.exec(QStringLiteral("SELECT count(*) FROM Programacion WHERE LNumeroSerie = 8080")) && q.next());
    EXPECT_EQ(q.value(0).toInt(), 1);
    const QList<JournalEntry> entries = Journal(*s.shell->context().db).entries().value();
    ASSERT_FALSE(entries.isEmpty());
    EXPECT_EQ(entries.first().action, JournalAction::Merge);
    EXPECT_EQ(entries.first().outcome, QStringLiteral("stopped"));
    EXPECT_TRUE(s.window().button("SSCommand1")->isEnabled());
}

// Under a desktop's larger font the longer captions still show whole: the
// commands grow with their captions instead of keeping a fixed width.
TEST(MainWindow, CommandsGrowWithTheirCaptionsUnderALargerFont)
{
    const QFont before = QApplication::font();
    const std::shared_ptr<void> restore(nullptr, [&](void*) { QApplication::setFont(before); });
    QFont larger = before;
    larger.setPointSizeF(larger.pointSizeF() * 1.3);
    QApplication::setFont(larger);
    StartedProgram s;
    for (const char* option : {"OptionAleman", "OptionFrances"}) {
        s.chooseLanguage(option);
        MainWindow& w = s.window();
        w.resize(w.minimumSizeHint());
        w.show();
        settle();
        int checked = 0;
        for (QPushButton* b : w.findChildren<QPushButton*>()) {
            if (!b->isVisible() || b->window() != &w)
                continue;
            ++checked;
            EXPECT_GE(b->width(), b->fontMetrics().horizontalAdvance(b->text().remove(QLatin1Char('&'))))
                << option << ": " << b->objectName().toStdString();
            EXPECT_GE(b->width(), 170) << b->objectName().toStdString();
        }
        EXPECT_GE(checked, 10) << option;
    }
}

namespace {

FleetUnit officeUnit(qint32 serial, const char* venue, int urgency)
{
    FleetUnit u;
    u.serial = serial;
    u.venue = QString::fromUtf8(venue);
    u.urgency = urgency;
    if (urgency > 0)
        u.reasons = {FleetReason::Stale};
    return u;
}

int rowOf(const FleetView& view, qint32 serial)
{
    for (int row = 0; row < view.table()->model()->rowCount(); ++row)
        if (view.serialOnRow(row) == serial)
            return row;
    return -1;
}

} // namespace

// The units under the buttons open their windows, and what is changed there
// shows once a window is closed.
TEST(MainWindow, TheOverviewOpensAUnitsWindowsAndIsReadAgainWhenTheyClose)
{
    StartedProgram s;
    QSqlQuery insert(s.shell->context().db->connection());
    for (const char* serial : {"4711", "8080"})
        ASSERT_TRUE(insert.exec(QStringLiteral("INSERT INTO Programacion (LNumeroSerie, TLocal) VALUES (%1, 'Sala')")
                                    .arg(QString::fromLatin1(serial))))
            << insert.lastError().text().toStdString();
    FleetView* fleet = s.window().fleetView();
    ASSERT_NE(fleet, nullptr);
    int loads = 0;
    fleet->setLoader([&](const FleetOptions&) -> Result<std::vector<FleetUnit>> {
        ++loads;
        return std::vector<FleetUnit>{officeUnit(8080, "Bar", 5), officeUnit(4711, "Sala", 0)};
    });
    ASSERT_TRUE(fleet->refresh());
    ASSERT_EQ(fleet->table()->model()->rowCount(), 2);

    fleet->openForRow(rowOf(*fleet, 4711), FleetView::Action::RecordedData);
    auto* records = s.window().findChild<RecordedDataWindow*>();
    ASSERT_NE(records, nullptr);
    EXPECT_TRUE(records->isVisible());
    EXPECT_EQ(records->shownSerial(), 4711);
    // Another unit in the same window, chosen from the keyboard: Enter opens
    // the selected row, and one Tab leaves the table.
    QTableView* table = fleet->table();
    test::makeActive(&s.window());
    table->setFocus();
    table->selectRow(rowOf(*fleet, 8080));
    test::keyInto(table, Qt::Key_Return);
    EXPECT_EQ(records->shownSerial(), 8080);
    test::makeActive(&s.window());
    table->setFocus();
    test::keyInto(table, Qt::Key_Tab);
    EXPECT_FALSE(table->hasFocus());
    const int before = loads;
    records->close();
    settle();
    EXPECT_EQ(loads, before + 1);

    fleet->openForRow(rowOf(*fleet, 4711), FleetView::Action::Programming);
    auto* programming = s.window().findChild<ProgrammingWindow*>();
    ASSERT_NE(programming, nullptr);
    EXPECT_TRUE(programming->isVisible());
    EXPECT_EQ(child<QLineEdit>(programming, "MaskNumeroSerie")->text().trimmed(), QStringLiteral("4711"));
    programming->close();
    settle();
    EXPECT_EQ(loads, before + 2);
}

// A serial handed over shows that unit every time, whatever the window
// showed; "Datos registrados" there offers to save, closes the window and
// shows the recorded data of its unit, not the one that window showed last.
TEST(MainWindow, TheUnitAskedForIsShownAndItsRecordsFollowIt)
{
    StartedProgram s;
    QSqlQuery insert(s.shell->context().db->connection());
    ASSERT_TRUE(insert.exec(QStringLiteral("INSERT INTO Programacion (LNumeroSerie) VALUES (1002), (1003)")));
    const auto shownSerial = [](QWidget* w) { return child<QLineEdit>(w, "MaskNumeroSerie")->text().trimmed(); };
    for (const auto& [asked, shown] : {std::pair{"1003", "1003"}, std::pair{"1002", "1002"},
                                       std::pair{"\"1003\"", "1003"}, std::pair{"9999", "1003"}}) {
        s.window().openArgument(QString::fromLatin1(asked));
        auto* programming = s.window().findChild<ProgrammingWindow*>();
        ASSERT_NE(programming, nullptr);
        EXPECT_TRUE(programming->isVisible()) << asked;
        EXPECT_EQ(shownSerial(programming), QString::fromLatin1(shown)) << asked;
    }
    auto* programming = s.window().findChild<ProgrammingWindow*>();
    s.window().button("SSCommandIncidencias")->click();
    auto* records = s.window().findChild<RecordedDataWindow*>();
    ASSERT_TRUE(records && records->showUnit(1002));
    s.window().openArgument(QStringLiteral("1003"));
    child<QLineEdit>(programming, "MaskLocal")->setText(QStringLiteral("Otra sala"));
    s.prompter.clear();
    s.prompter.answer(Answer::Discard);
    child<QPushButton>(programming, "SSCommandIncidencias")->click();
    EXPECT_EQ(s.prompter.shown().size(), 1);
    EXPECT_FALSE(programming->isVisible());
    EXPECT_TRUE(records->isVisible());
    EXPECT_EQ(records->shownSerial(), 1003);

    // Nothing handed over only brings the window forward.
    s.window().showMinimized();
    s.window().openArgument(QString());
    EXPECT_FALSE(s.window().isMinimized());
}

TEST(MainWindow, TheOverviewsStaleDaysAreKeptInTheSettingsFile)
{
    StartedProgram s;
    FleetView* fleet = s.window().fleetView();
    EXPECT_EQ(fleet->staleDays(), 30);
    EXPECT_EQ(setting(s.home, "FleetStaleDays"), QStringLiteral("<none>"));
    child<QSpinBox>(&s.window(), "SpinDiasSinLeer")->setValue(60);
    EXPECT_EQ(setting(s.home, "FleetStaleDays"), QStringLiteral("60"));
    // The next window starts with it.
    MainWindow next(s.shell->context(), s.prompter);
    EXPECT_EQ(next.fleetView()->staleDays(), 60);
}

// An empty office says so, in the language chosen, and the overview speaks it.
TEST(MainWindow, TheOverviewSpeaksTheChosenLanguage)
{
    StartedProgram s;
    FleetView* fleet = s.window().fleetView();
    auto* hint = child<QLabel>(&s.window(), "LbSinAparatos");
    EXPECT_TRUE(hint->isVisible());
    EXPECT_TRUE(hint->text().startsWith(QStringLiteral("No hay aparatos"))) << hint->text().toStdString();
    EXPECT_EQ(fleet->model()->headerData(FleetModel::Reasons, Qt::Horizontal).toString(), QStringLiteral("Motivos"));

    s.chooseLanguage("OptionAleman");
    fleet = s.window().fleetView();
    hint = child<QLabel>(&s.window(), "LbSinAparatos");
    EXPECT_TRUE(hint->text().startsWith(QStringLiteral("Keine Geräte"))) << hint->text().toStdString();
    EXPECT_EQ(child<QLabel>(&s.window(), "LbCuentaAparatos")->text(), QStringLiteral("0 Geräte, 0 brauchen Aufmerksamkeit"));
    EXPECT_EQ(child<QComboBox>(&s.window(), "ComboFiltroAparatos")->itemText(2),
              QStringLiteral("Anzeichen von Manipulation"));
    EXPECT_EQ(fleet->model()->headerData(FleetModel::Reasons, Qt::Horizontal).toString(), QStringLiteral("Gründe"));
    fleet->setLoader([](const FleetOptions&) -> Result<std::vector<FleetUnit>> {
        FleetUnit u = officeUnit(8080, "Bar", 5);
        u.reasons = {FleetReason::Battery, FleetReason::Stale};
        return std::vector<FleetUnit>{u};
    });
    ASSERT_TRUE(fleet->refresh());
    const QAbstractItemModel* rows = fleet->table()->model();
    EXPECT_EQ(rows->index(0, FleetModel::Reasons).data().toString(),
              QStringLiteral("Batterie leer, Lange nicht ausgelesen"));
    EXPECT_EQ(rows->index(0, FleetModel::LastDownload).data().toString(), QStringLiteral("Nie"));
}

namespace {

QString savedPlace(test::StartedProgram& program, const char* window)
{
    return ReadSetting(QString::fromLatin1(kWindowsSection), QString::fromLatin1(window), QString(),
                       settingsPath(program.home.path()));
}

QRect savedInside(test::StartedProgram& program, const char* window)
{
    return insideOfSavedGeometry(QByteArray::fromBase64(savedPlace(program, window).toLatin1())).value_or(QRect());
}

// A window comes back at the place and size it had, each time it is opened
// anew and in a new run of the program (a language change builds the main
// window anew, as a new start does): nothing creeps. The form kept before,
// the inside's "x,y,width,height", is still read.
TEST(WindowPlacesKept, AWindowComesBackAsItWasLeftEachTime)
{
    test::StartedProgram program;
    MainWindow& first = program.window();
    first.show();
    settle();
    // A size the main window takes with its overview, on the small test screen.
    first.setGeometry(10, 40, 780, 470);
    settle();
    first.hide();
    EXPECT_EQ(savedInside(program, "Form1"), QRect(10, 40, 780, 470));
    program.chooseLanguage("OptionIngles");
    MainWindow& again = program.window();
    ASSERT_NE(&again, &first);
    again.show();
    settle();
    EXPECT_EQ(again.geometry(), QRect(10, 40, 780, 470));

    const QString settings = settingsPath(program.home.path());
    ASSERT_TRUE(WriteSetting(QString::fromLatin1(kWindowsSection), QStringLiteral("FormPrueba"),
                             QStringLiteral("30,50,380,270"), settings));
    for (int opening = 0; opening < 3; ++opening) {
        QWidget window;
        window.setObjectName(QStringLiteral("FormPrueba"));
        window.show();
        settle();
        EXPECT_EQ(window.geometry(), QRect(30, 50, 380, 270)) << opening;
    }
}

TEST(WindowPlacesKept, APlaceOffTheScreenIsBroughtBackOnIt)
{
    test::StartedProgram program;
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    ASSERT_TRUE(WriteSetting(QString::fromLatin1(kWindowsSection), QStringLiteral("Form7"),
                             QStringLiteral("%1,%2,400,300").arg(screen.right() + 500).arg(screen.bottom() + 300),
                             settingsPath(program.home.path())));
    bool seen = false;
    test::whenModal([&](QWidget* d) {
        seen = true;
        EXPECT_TRUE(screen.contains(d->frameGeometry()));
        d->close();
    });
    program.window().button("SSCommandIdioma")->click();
    EXPECT_TRUE(seen);
    // Its place as it was shown is what the file keeps now.
    EXPECT_TRUE(screen.contains(savedInside(program, "Form7"))) << savedPlace(program, "Form7").toStdString();
}

// Shown for the first time, a window larger than the screen is made to fit
// it; one that fits keeps its size.
TEST(WindowPlacesKept, AFirstShowingFitsTheScreen)
{
    test::StartedProgram program;
    const QSize room = QGuiApplication::primaryScreen()->availableGeometry().size();
    QWidget big;
    big.setObjectName(QStringLiteral("FormPrueba"));
    big.resize(room + QSize(300, 200));
    big.show();
    settle();
    EXPECT_LE(big.frameGeometry().width(), room.width());
    EXPECT_LE(big.frameGeometry().height(), room.height());
    QWidget small;
    small.setObjectName(QStringLiteral("FormPequena"));
    small.resize(320, 200);
    small.show();
    settle();
    EXPECT_EQ(small.size(), QSize(320, 200));
}

// Qt alone would first show the main window at two thirds of the screen,
// which leaves the units' table a few rows; it takes its natural size.
TEST(WindowPlacesKept, TheMainWindowFirstShowsAtItsNaturalSize)
{
    test::StartedProgram program;
    MainWindow& window = program.window();
    window.show();
    settle();
    const QSize room = QGuiApplication::primaryScreen()->availableGeometry().size();
    const QSize frame = window.frameGeometry().size() - window.size();
    EXPECT_EQ(window.size(), window.sizeHint().boundedTo(room - frame));
    EXPECT_GT(window.height(), room.height() * 2 / 3);
}

} // namespace

// Every window's help button reaches its page of the installed manual through
// what the shell handed it: with an installation that lacks the manual, each
// click says which page is missing.
TEST(WindowNeeds, EveryHelpButtonOpensTheHelpOfTheRun)
{
    StartedProgram program;
    AppContext& ctx = program.shell->context();
    QTemporaryDir installation;
    qputenv("TVQ52_ASSETS", installation.path().toUtf8());
    const QString pages = helpFolder(findAssetFolder());
    ASSERT_EQ(pages, helpFolder(installation.path()));
    program.prompter.clear();

    // Each window's button asks for that window's page of the manual.
    struct Window {
        const char* form;
        const char* page;
        std::unique_ptr<QWidget> widget;
    };
    std::vector<Window> windows;
    windows.push_back({"Form2", "programming", std::make_unique<ProgrammingWindow>(programmingWindowNeeds(ctx, program.prompter))});
    windows.push_back({"Form5", "records", std::make_unique<RecordedDataWindow>(recordedDataWindowNeeds(ctx, program.prompter))});
    windows.push_back({"Form6", "reports", std::make_unique<ReportWindow>(reportWindowNeeds(ctx, program.prompter))});
    windows.push_back({"Form9", "records",
                       std::make_unique<GraphWindow>(ctx.translator, program.prompter, ctx.db.get(),
                                                     helpOpener(ctx, program.prompter, QStringLiteral("records")))});
    windows.push_back({"Form3", "monitor",
                       std::make_unique<MonitorWindow>(ctx.translator, program.prompter, sessionSource(ctx),
                                                       helpOpener(ctx, program.prompter, QStringLiteral("monitor")))});
    for (auto& [form, page, window] : windows) {
        program.prompter.clear();
        auto* help = child<QPushButton>(window.get(), "SSCommandHelp");
        ASSERT_NE(help, nullptr) << form;
        ASSERT_TRUE(help->isEnabled()) << form;
        help->click();
        ASSERT_EQ(program.prompter.shown().size(), 1) << form;
        EXPECT_EQ(program.prompter.shown().front().style, MessageStyle::Exclamation) << form;
        EXPECT_TRUE(program.prompter.shown().front().text.contains(
            QDir(pages).filePath(helpPage(ctx.LanguageCodeValue, QString::fromLatin1(page)))))
            << form << ": " << program.prompter.shown().front().text.toStdString();
    }
    qunsetenv("TVQ52_ASSETS");
}

// The windows' sessions run on the run's line settings as they are when the
// session opens (start-up and the communication settings fill them in), and
// each call opens a session of its own.
TEST(WindowNeeds, SessionsRunOnTheLineSettingsOfTheRun)
{
    StartedProgram program;
    AppContext& ctx = program.shell->context();
    const SessionSource open = sessionSource(ctx);
    ctx.lineSettings.ModemMode = 1;
    const auto first = open(nullptr, nullptr);
    ctx.lineSettings.ModemMode = 0;
    const auto second = open(nullptr, nullptr);
    ASSERT_TRUE(first && second);
    EXPECT_NE(first.get(), second.get());
    EXPECT_TRUE(first->settings().modem()) << "a session keeps the settings it opened with";
    EXPECT_FALSE(second->settings().modem());
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
    EXPECT_EQ(&needs.unit, &ctx.unit);
    EXPECT_EQ(needs.assetFolder(), findAssetFolder());
    ASSERT_TRUE(acceptFooterText(ctx, QStringLiteral("Ayuntamiento de Girona")).ok());
    EXPECT_EQ(needs.footerText(), QStringLiteral("Ayuntamiento de Girona"));
    EXPECT_EQ(graphReportNeeds(ctx, program.prompter).footerText, QStringLiteral("Ayuntamiento de Girona"));
}

namespace {

bool waitFor(const std::function<bool()>& done)
{
    QElapsedTimer waited;
    waited.start();
    while (!done() && waited.elapsed() < 20000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

} // namespace

// Collect now deals the data folder's list to the collect lines in a window
// of its own, each unit's row showing its call; Stop ends the calls under
// way, and the summary tells the stopped, the refused and the never called.
TEST(MainWindow, CollectNowShowsEachUnitsCallAndItsStopEndsTheRound)
{
    StartedProgram s;
    const QString ini = settingsPath(s.home.path());
    IniFile settings = IniFile::load(ini);
    settings.setValue(QStringLiteral("Configuration"), QStringLiteral("CollectDevices"), QStringLiteral("A, B"));
    ASSERT_TRUE(settings.save(ini));
    s.home.writeFile(QStringLiteral("collect.list"), "9777\nx\n9777\n41\n");
    s.window().setCollectProgram(writeFakeCollectWorker(s.home.path()));
    s.window().button("SSCommandRecoger")->click();
    CollectWindow* w = s.window().collectWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_LE(w->frameGeometry().width(), kSmallScreen.width());
    EXPECT_LE(w->frameGeometry().height(), kSmallScreen.height());
    const Translator& translator = s.shell->context().translator;
    const auto outcomes = [w] {
        QStringList texts;
        for (int row = 0; row < w->table()->rowCount(); ++row)
            texts << w->table()->item(row, 2)->text();
        return texts;
    };
    const QString calling = translator.translate(QStringLiteral("Llamando"));
    ASSERT_TRUE(waitFor([&] { return outcomes().count(calling) == 2; })) << qPrintable(outcomes().join('|'));

    child<QPushButton>(w, "SSCommandStop")->click();
    ASSERT_TRUE(waitFor([w] { return !w->isRunning(); }));
    const QString stopped = collectOutcomeText(translator, CollectOutcome::Stopped);
    EXPECT_EQ(outcomes(), (QStringList{stopped, collectOutcomeText(translator, CollectOutcome::NotSerialNumber), stopped,
                                       collectOutcomeText(translator, CollectOutcome::NotCalled)}));
    EXPECT_EQ(w->summary()->text(),
              translator.translate(QStringLiteral("Recogida parada: %1 de %2 unidades recogidas")).arg(0).arg(4));
    EXPECT_TRUE(child<QPushButton>(w, "SSCommandExit")->isEnabled());
    EXPECT_TRUE(s.prompter.shown().isEmpty());
}

// Every button of the main window is in a menu under its own words, and
// choosing the entry does what the button does; the Window menu lists the
// open windows; the status bar says where the records and the line are.
TEST(MainWindow, TheMenusHoldEveryButtonAndTheStatusBarSaysWhereTheRecordsAndTheLineAre)
{
    StartedProgram program;
    MainWindow& w = program.window();
    auto* bar = w.findChild<QMenuBar*>(QStringLiteral("MenuPrincipal"));
    ASSERT_NE(bar, nullptr);
    QHash<QString, QAction*> entries;
    for (QAction* title : bar->actions())
        if (title->menu())
            for (QAction* a : title->menu()->actions())
                entries.insert(a->objectName(), a);
    for (QPushButton* b : w.findChildren<QPushButton*>()) {
        const QString name = b->objectName();
        // The merge panel's Stop belongs to the merge under way, not to a menu.
        if (!name.contains(QStringLiteral("Command")) || name == QStringLiteral("SSCommandRecientes")
            || b->parentWidget()->objectName() == QStringLiteral("SSPanel1"))
            continue;
        QAction* a = entries.value(QStringLiteral("Menu_") + name);
        ASSERT_NE(a, nullptr) << name.toStdString();
        EXPECT_EQ(withoutAccessKey(a->text().section(QLatin1Char('\t'), 0, 0)), withoutAccessKey(b->text()))
            << name.toStdString();
    }
    bool asked = false;
    whenModal([&](QWidget* d) {
        asked = d->objectName() == QStringLiteral("Form7");
        d->close();
    });
    entries.value(QStringLiteral("Menu_SSCommandIdioma"))->trigger();
    EXPECT_TRUE(asked);

    // A login that may only read finds collecting and opening files off, the
    // menu entry too, each saying the role it needs; with the role, on again.
    for (const Right login : {Right::Read, Right::Admin}) {
        program.shell->context().db->noteRight(login);
        entries.value(QStringLiteral("Menu_Actualizar"))->trigger();
        const bool refused = login < Right::Collect;
        QPushButton* collect = w.button("SSCommandRecoger");
        QElapsedTimer waited;
        waited.start();
        while (collect->isEnabled() == refused && waited.elapsed() < 5000)
            settle();
        EXPECT_NE(collect->isEnabled(), refused) << int(login);
        QAction* entry = entries.value(QStringLiteral("Menu_SSCommandRecoger"));
        emit qobject_cast<QMenu*>(entry->parent())->aboutToShow();
        EXPECT_EQ(entry->isEnabled(), !refused);
        EXPECT_EQ(entry->toolTip().contains(QStringLiteral("«collect»")), refused) << entry->toolTip().toStdString();
        EXPECT_EQ(w.button("SSCommand1")->toolTip().contains(QStringLiteral("«collect»")), refused);
    }

    QWidget other;
    other.setWindowTitle(QStringLiteral("Otra ventana"));
    other.show();
    auto* windows = w.findChild<QMenu*>(QStringLiteral("MenuVentana"));
    ASSERT_NE(windows, nullptr);
    emit windows->aboutToShow();
    QStringList listed;
    for (QAction* a : windows->actions())
        listed << a->text();
    EXPECT_TRUE(listed.contains(QStringLiteral("Otra ventana"))) << listed.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(listed.contains(w.windowTitle()));

    AppContext& ctx = program.shell->context();
    EXPECT_TRUE(child<QLabel>(&w, "LbEstadoBaseDatos")->text().endsWith(QStringLiteral("tvq52.db")));
    EXPECT_EQ(child<QLabel>(&w, "LbEstadoBaseDatos")->toolTip(), ctx.db->target().displayName());
    EXPECT_TRUE(child<QLabel>(&w, "LbEstadoLinea")->text().contains(portText(ctx)));
    EXPECT_TRUE(child<QLabel>(&w, "LbCuentaAparatos")->isVisibleTo(&w));

    program.chooseLanguage("OptionAleman");
    auto* german = program.window().findChild<QMenuBar*>(QStringLiteral("MenuPrincipal"));
    ASSERT_NE(german, nullptr);
    EXPECT_EQ(withoutAccessKey(german->actions().value(0)->text()), QStringLiteral("Datei"));
}
