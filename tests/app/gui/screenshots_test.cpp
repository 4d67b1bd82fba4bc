#include "app/gui/communication_dialog.h"
#include "app/gui/database_dialog.h"
#include "app/gui/language_dialog.h"
#include "../../records/gui/fleet_rows.h"
#include "db/database.h"
#include "records/gui/fleet_view.h"
#include "support/layout_checks.h"
#include "support/result_checks.h"
#include "support/started_program.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QTableView>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QSet>
#include <QVBoxLayout>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

using namespace tvq52;
using tvq52::test::settle;

namespace {

// The language dialog's choices, the program's start language last so that
// the main window is left as it starts.
const char* const kLanguageOptions[] = {"OptionIngles",   "OptionAleman",    "OptionCatalan", "OptionFrances",
                                        "OptionItaliano", "OptionPortugues", "OptionEspañol"};

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
