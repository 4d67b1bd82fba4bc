#include "../../records/gui/fleet_rows.h"
#include "app/data_folder.h"
#include "app/database_choice.h"
#include "app/gui/communication_dialog.h"
#include "app/gui/database_dialog.h"
#include "app/gui/language_dialog.h"
#include "app/settings.h"
#include "db/database.h"
#include "link/serial_line.h"
#include "records/gui/fleet_view.h"
#include "sim_process.h"
#include "support/layout_checks.h"
#include "support/result_checks.h"
#include "support/started_program.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QSet>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

using namespace tvq52;
using namespace tvq52::test;

namespace {

// The language dialog's choices, the program's start language last so that
// the main window is left as it starts.
const char* const kLanguageOptions[] = {"OptionIngles",   "OptionAleman",    "OptionCatalan", "OptionFrances",
                                        "OptionItaliano", "OptionPortugues", "OptionEspañol"};

struct Language {
    const char* option;
    const char* file;        // the screenshot's suffix
    const char* unreachable; // what the failure says in that language
};

const Language kLanguages[] = {
    {"OptionEspañol", "es", "No hay respuesta del servidor"},
    {"OptionIngles", "en", "does not answer"},
    {"OptionCatalan", "ca", "no respon"},
    {"OptionAleman", "de", "antwortet nicht"},
    {"OptionFrances", "fr", "ne répond pas"},
    {"OptionItaliano", "it", "non risponde"},
    {"OptionPortugues", "pt", "não responde"},
};

void fillServer(DatabaseDialog& d, const QString& host, int port, const QString& database, const QString& user)
{
    child<QRadioButton>(&d, "OptionServidor")->click();
    child<QLineEdit>(&d, "TxtServidor")->setText(host);
    child<QSpinBox>(&d, "TxtPuerto")->setValue(port);
    child<QLineEdit>(&d, "TxtBaseDatos")->setText(database);
    child<QLineEdit>(&d, "TxtUsuario")->setText(user);
}

void shoot(QWidget& w, const QString& name)
{
    const QString dir = qEnvironmentVariable("TVQ52_SHOT_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    w.grab().save(QDir(dir).filePath(name + QStringLiteral(".png")));
}

} // namespace

// In every language the dialog fits a small screen whole, also with a
// failure told in it, and that failure is in the language chosen.
TEST(DatabaseDialog, SaysWhyAServerFailsWholeInEveryLanguage)
{
    test::StartedProgram program;
    QTemporaryDir nowhere;
    // A reachable server for the pictures, when one is named.
    const QString shotServer = qEnvironmentVariable("TVQ52_SHOT_DATABASE");
    for (const Language& language : kLanguages) {
        program.chooseLanguage(language.option);
        DatabaseDialog d(program.shell->context(), program.prompter, &program.window());
        fillServer(d, nowhere.path(), 5432, QStringLiteral("oficina"), QStringLiteral("ana"));
        d.show();
        settle();
        child<QPushButton>(&d, "SSCommandProbar")->click();
        settle();
        EXPECT_TRUE(d.resultText().contains(QString::fromUtf8(language.unreachable)))
            << language.file << ": " << d.resultText().toStdString();
        EXPECT_TRUE(d.resultText().contains(nowhere.path()));
        d.adjustSize();
        settle();
        tvq52::test::expectWhole(d, QStringLiteral("FormBaseDatos_%1").arg(QString::fromLatin1(language.file)));
        shoot(d, QStringLiteral("db-dialog-unreachable-%1").arg(QString::fromLatin1(language.file)));
        if (const auto target = DatabaseTarget::fromUri(shotServer); target && !shotServer.isEmpty()) {
            fillServer(d, target->host, target->port, target->database, target->user);
            child<QPushButton>(&d, "SSCommandProbar")->click();
            d.adjustSize();
            settle();
            shoot(d, QStringLiteral("db-dialog-reachable-%1").arg(QString::fromLatin1(language.file)));
        }
    }
    EXPECT_TRUE(program.prompter.shown().isEmpty()) << program.prompter.shown().value(0).text.toStdString();
}

TEST(DatabaseDialog, ChoosesTheFolderFileOrACompleteServerAddress)
{
    test::StartedProgram program;
    AppContext& ctx = program.shell->context();
    DatabaseDialog d(ctx, program.prompter, &program.window());
    // Opened on the folder's file, which it shows.
    EXPECT_TRUE(child<QRadioButton>(&d, "OptionLocal")->isChecked());
    EXPECT_EQ(child<QLabel>(&d, "LbRutaLocal")->text(), databasePath(ctx.home));
    EXPECT_FALSE(child<QWidget>(&d, "FrameServidor")->isEnabled());
    for (auto* field : d.findChildren<QLineEdit*>())
        EXPECT_NE(field->echoMode(), QLineEdit::Password) << "no password field: " << field->objectName().toStdString();

    fillServer(d, QStringLiteral("db.office"), 5433, QString(), QStringLiteral("ana"));
    EXPECT_TRUE(child<QWidget>(&d, "FrameServidor")->isEnabled());
    d.accept();
    EXPECT_NE(d.result(), QDialog::Accepted) << "a server needs a database name";
    ASSERT_EQ(program.prompter.shown().size(), 1);

    child<QLineEdit>(&d, "TxtBaseDatos")->setText(QStringLiteral(" records "));
    d.accept();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    const auto chosen = d.chosen();
    ASSERT_TRUE(chosen && chosen->isServer());
    EXPECT_EQ(chosen->uri(), DatabaseTarget::fromUri(QStringLiteral("postgresql://ana@db.office:5433/records"))->uri());

    // Written, it opens the next dialog on the server, options kept.
    ASSERT_TRUE(test::succeeded(acceptDatabase(
        ctx, *DatabaseTarget::fromUri(QStringLiteral("postgresql://ana@db.office:5433/records?sslmode=require")))));
    DatabaseDialog again(ctx, program.prompter, &program.window());
    EXPECT_TRUE(child<QRadioButton>(&again, "OptionServidor")->isChecked());
    ASSERT_TRUE(again.chosen());
    EXPECT_TRUE(again.chosen()->options.contains("sslmode=require"));
}

// From the main window: a server that cannot be used is told and the records
// stay where they were, in the settings too.
TEST(DatabaseDialog, AServerThatCannotBeUsedLeavesTheRecordsWhereTheyWere)
{
    test::StartedProgram program;
    AppContext& ctx = program.shell->context();
    QTemporaryDir nowhere;
    program.window().button("SSCommandProgramacion")->click();
    settle();
    bool shown = false;
    test::whenModal([&](QWidget* modal) {
        auto* d = qobject_cast<DatabaseDialog*>(modal);
        ASSERT_NE(d, nullptr);
        fillServer(*d, nowhere.path(), 5432, QStringLiteral("oficina"), QStringLiteral("ana"));
        child<QPushButton>(d, "SSCommandAceptar")->click();
        shown = true;
    });
    program.window().button("SSCommandBaseDatos")->click();
    settle();
    ASSERT_TRUE(shown);
    ASSERT_TRUE(ctx.db);
    EXPECT_FALSE(ctx.db->isServer());
    EXPECT_EQ(ctx.db->path(), databasePath(ctx.home));
    ASSERT_EQ(program.prompter.shown().size(), 1);
    EXPECT_EQ(program.prompter.shown()[0].style, MessageStyle::Critical);
    EXPECT_TRUE(program.prompter.shown()[0].text.contains(nowhere.path()));
    EXPECT_FALSE(resolveDatabase(ctx)->isServer());
    // The programming window opens again on the records.
    program.window().button("SSCommandProgramacion")->click();
    settle();
    EXPECT_TRUE(program.prompter.shown().size() == 1) << program.prompter.shown().last().text.toStdString();
}

TEST(CommunicationDialog, MarksPortsThatCannotBeOpenedInEveryLanguage)
{
    StartedProgram program;
    AppContext& ctx = program.shell->context();
    sim::SimProcess sim(QStringLiteral(TVQ52_BIN_DIR "/tvq52-sim"), {});
    ASSERT_TRUE(sim.start()) << qPrintable(sim.error());
    SerialLine holder;
    holder.setDeviceName(sim.devicePath());
    ASSERT_TRUE(holder.open());

    for (const char* option : kLanguageOptions) {
        program.chooseLanguage(option);
        const QString tag = QString::fromUtf8(option).mid(6);
        CommunicationDialog dialog(ctx, program.prompter);
        dialog.show();
        settle();
        auto* port = child<QComboBox>(&dialog, "ComboPort");
        auto* state = child<QLabel>(&dialog, "LbEstadoPuerto");

        // Port 99 is /dev/ttyS98, which no machine has.
        const int last = port->findText(QStringLiteral("99"));
        ASSERT_GE(last, 0);
        EXPECT_TRUE(port->itemData(last, Qt::ToolTipRole).toString().contains(QStringLiteral("/dev/ttyS98")));
        EXPECT_FALSE(port->itemIcon(last).isNull());

        port->setCurrentText(sim.devicePath());
        EXPECT_TRUE(state->isVisible()) << option;
        EXPECT_TRUE(state->text().contains(QString::number(QCoreApplication::applicationPid()))) << option;
        expectWhole(dialog, QStringLiteral("Form4_busy_") + tag);

        port->setCurrentText(QStringLiteral("99"));
        EXPECT_TRUE(state->text().contains(QStringLiteral("/dev/ttyS98"))) << option;
        if (tag == QStringLiteral("Ingles")) {
            EXPECT_TRUE(state->text().startsWith(QStringLiteral("Port /dev/ttyS98 does not exist.")))
                << state->text().toStdString();
        }
        expectWhole(dialog, QStringLiteral("Form4_missing_") + tag);
    }

    // A port that can be opened says nothing, and looking at it did not take it.
    holder.close();
    CommunicationDialog dialog(ctx, program.prompter);
    dialog.show();
    settle();
    child<QComboBox>(&dialog, "ComboPort")->setCurrentText(sim.devicePath());
    EXPECT_FALSE(child<QLabel>(&dialog, "LbEstadoPuerto")->isVisible());
    SerialLine again;
    again.setDeviceName(sim.devicePath());
    EXPECT_TRUE(again.open());
}

namespace {


// How many pixels of `image` inside `area` differ from the colour at the
// area's top-left corner: text, frames and icons that were drawn there.
int inkIn(const QImage& image, const QRect& area)
{
    const QRect r = area.intersected(image.rect());
    if (r.isEmpty())
        return 0;
    const QRgb background = image.pixel(r.topLeft());
    int ink = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (image.pixel(x, y) != background)
                ++ink;
    return ink;
}

QString captionOf(const QWidget* w)
{
    if (const auto* box = qobject_cast<const QGroupBox*>(w))
        return box->title();
    if (const auto* label = qobject_cast<const QLabel*>(w))
        return label->text();
    if (const auto* button = qobject_cast<const QAbstractButton*>(w))
        return button->text();
    return {};
}

// `window` as shown: it fits the smallest screen; every visible caption lies
// inside it, gets the width its text asks for (the height, when it wraps) and
// is drawn, so that no text is clipped or lost. The picture goes to `shotDir`
// when one is given.
void expectReadable(QWidget& window, const QString& where, const QString& shotDir)
{
    const std::string at = where.toStdString();
    EXPECT_LE(window.width(), test::kSmallScreen.width()) << at;
    EXPECT_LE(window.height(), test::kSmallScreen.height()) << at;
    const QImage shot = window.grab().toImage();
    ASSERT_EQ(shot.size(), window.size() * window.devicePixelRatio()) << at;
    // A window painted in one or two colours shows nothing a person can read.
    QSet<QRgb> colours;
    for (int y = 0; y < shot.height() && colours.size() < 16; y += 3)
        for (int x = 0; x < shot.width() && colours.size() < 16; x += 3)
            colours.insert(shot.pixel(x, y));
    EXPECT_GE(colours.size(), 16) << at << ": the window is blank";

    int captions = 0;
    for (QWidget* w : window.findChildren<QWidget*>()) {
        const QString caption = captionOf(w);
        if (!w->isVisible() || caption.trimmed().isEmpty())
            continue;
        ++captions;
        const std::string what = at + ": " + w->objectName().toStdString() + " \"" + caption.toStdString() + "\"";
        const QRect inWindow(w->mapTo(&window, QPoint(0, 0)), w->size());
        EXPECT_TRUE(window.rect().contains(inWindow)) << what << " lies outside the window";
        const auto* label = qobject_cast<QLabel*>(w);
        if (label && label->wordWrap())
            EXPECT_GE(label->height(), label->heightForWidth(label->width())) << what << " is cut off below";
        else if (!qobject_cast<QGroupBox*>(w))
            EXPECT_GE(w->width(), w->sizeHint().width()) << what << " is cut off";
        else
            EXPECT_GE(w->width(), w->minimumSizeHint().width()) << what << " is cut off";
        const QRect drawn(inWindow.topLeft() * window.devicePixelRatio(), inWindow.size() * window.devicePixelRatio());
        EXPECT_GT(inkIn(shot, drawn), 0) << what << " is not drawn";
    }
    EXPECT_GT(captions, 2) << at << ": no captions shown";
    if (!shotDir.isEmpty()) {
        QDir().mkpath(shotDir);
        EXPECT_TRUE(shot.save(QDir(shotDir).filePath(where + QStringLiteral(".png")))) << at;
    }
}

} // namespace

// The check itself: a caption narrower than its text and one drawn in the
// colour of its background are both caught.
TEST(Screenshots, ACutCaptionAndALostTextAreCaught)
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* whole = new QLabel(QStringLiteral("Salir del programa"), &window);
    whole->setObjectName(QStringLiteral("LbEntero"));
    auto* cut = new QLabel(QStringLiteral("Texto del pie de página de los informes"), &window);
    cut->setObjectName(QStringLiteral("LbCortado"));
    cut->setFixedWidth(cut->sizeHint().width() / 2);
    auto* lost = new QLabel(QStringLiteral("Comunicaciones"), &window);
    lost->setObjectName(QStringLiteral("LbPerdido"));
    layout->addWidget(whole);
    layout->addWidget(cut);
    layout->addWidget(lost);
    window.show();
    settle();
    EXPECT_NONFATAL_FAILURE(expectReadable(window, QStringLiteral("cut"), {}), "LbCortado");
    cut->setMinimumWidth(0);
    cut->setMaximumWidth(QWIDGETSIZE_MAX);
    lost->setStyleSheet(QStringLiteral("color: transparent;"));
    settle();
    EXPECT_NONFATAL_FAILURE(expectReadable(window, QStringLiteral("lost"), {}), "LbPerdido");
    lost->setStyleSheet({});
    settle();
    expectReadable(window, QStringLiteral("whole"), {});
}

// Renders the main window and its dialogs in each of the seven languages;
// with TVQ52_SHOT_DIR set the pictures are kept there for a person to look
// at (those of the start language under their plain names).
TEST(Screenshots, MainWindowAndDialogsFitTheSmallScreenWithEveryTextWholeInEveryLanguage)
{
    test::StartedProgram program;
    const QString dir = qEnvironmentVariable("TVQ52_SHOT_DIR");
    const auto shootAll = [&](const QString& suffix) {
        MainWindow& w = program.window();
        w.resize(w.sizeHint());
        w.show();
        settle();
        CommunicationDialog comm(program.shell->context(), program.prompter, &w);
        LanguageDialog language(program.shell->context(), &w);
        // With the reason it was brought up for, which wraps.
        DatabaseDialog database(program.shell->context(), program.prompter, &w,
                                QStringLiteral("No se puede abrir la base de datos del servidor de la oficina: "
                                               "la conexión ha sido rechazada por el servidor (puerto 5432)."));
        const std::pair<QWidget*, const char*> shots[] = {
            {&w, "main-window"}, {&comm, "communication"}, {&language, "language"}, {&database, "database"}};
        for (const auto& [widget, name] : shots) {
            widget->show();
            settle();
            expectReadable(*widget, QString::fromLatin1(name) + suffix, dir);
            if (widget != &w)
                widget->hide();
        }
    };
    shootAll(QString());
    for (const char* option : kLanguageOptions) {
        program.chooseLanguage(option);
        shootAll(QStringLiteral("-") + QString::fromUtf8(option).mid(6));
    }
    EXPECT_TRUE(program.prompter.shown().isEmpty()) << program.prompter.shown().value(0).text.toStdString();
}

// The "Importando datos" panel while a merge runs, caught at its fourth table.
TEST(Screenshots, ImportPanelShowsTheTableTheMergeIsAt)
{
    test::StartedProgram program;
    const QString source = program.home.file(QStringLiteral("otra.db"));
    ASSERT_TRUE(test::succeeded(Database::createSqlite(source)));
    MainWindow& w = program.window();
    bool caught = false;
    QObject::connect(&w, &MainWindow::mergeProgressed, &w, [&](int index, int count) {
        if (index != 3)
            return;
        caught = true;
        auto* panel = w.findChild<QWidget*>(QStringLiteral("SSPanel1"));
        EXPECT_TRUE(panel->isVisible());
        EXPECT_EQ(w.findChild<QLabel*>(QStringLiteral("LbImportandoTabla"))->text(),
                  QStringLiteral("Sesiones (4/%1)").arg(count));
        const QString dir = qEnvironmentVariable("TVQ52_SHOT_DIR");
        if (!dir.isEmpty()) {
            QDir().mkpath(dir);
            w.grab().save(QDir(dir).filePath(QStringLiteral("merge-panel.png")));
        }
    });
    program.prompter.fileAnswer(source);
    w.button("SSCommand1")->click();
    EXPECT_TRUE(caught);
}

namespace {

// An office of `count` units with every kind of row (never read, tampered
// with, stale, loud, quiet), long venues among them.
std::vector<FleetUnit> busyOffice(int count)
{
    const std::vector<FleetUnit> kinds = test::smallOffice();
    std::vector<FleetUnit> units;
    for (int i = 0; i < count; ++i) {
        FleetUnit u = kinds[std::size_t(i) % kinds.size()];
        u.serial = 10000 + i * 37;
        if (i % 4 == 1)
            u.venue = QStringLiteral("Discoteca Sol y Sombra del Puerto Viejo");
        units.push_back(u);
    }
    return units;
}

// Each heading of `table` shows whole: its section is as wide as the
// heading's text and the room the style gives around it.
void expectWholeHeadings(QTableView& table, const QString& where)
{
    const QHeaderView* header = table.horizontalHeader();
    const int padding = 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    for (int section = 0; section < header->count(); ++section) {
        const QString heading = table.model()->headerData(section, Qt::Horizontal).toString();
        EXPECT_GE(header->sectionSize(section), header->fontMetrics().horizontalAdvance(heading) + padding)
            << where.toStdString() << ": heading \"" << heading.toStdString() << "\" is cut off";
    }
}

} // namespace

// The main window with two hundred units in each language: the table takes
// the room, its headings show whole, the commands and the overview's own
// controls keep their captions. With TVQ52_SHOT_DIR set the pictures are kept.
TEST(Screenshots, MainWindowWithTheOfficesUnitsFitsInEveryLanguage)
{
    test::StartedProgram program;
    const QString dir = qEnvironmentVariable("TVQ52_SHOT_DIR");
    const std::vector<FleetUnit> units = busyOffice(200);
    for (const char* option : kLanguageOptions) {
        program.chooseLanguage(option);
        MainWindow& w = program.window();
        FleetView* fleet = w.fleetView();
        fleet->setLoader([&](const FleetOptions&) -> Result<std::vector<FleetUnit>> { return units; });
        ASSERT_TRUE(fleet->refresh());
        w.resize(w.sizeHint());
        w.show();
        settle();
        const QString where = QStringLiteral("main-window-units-") + QString::fromUtf8(option).mid(6);
        EXPECT_GE(fleet->table()->height(), 300) << where.toStdString() << ": the table gets the room";
        EXPECT_EQ(fleet->table()->model()->rowCount(), 200);
        expectWholeHeadings(*fleet->table(), where);
        expectReadable(w, where, dir);
    }
}
