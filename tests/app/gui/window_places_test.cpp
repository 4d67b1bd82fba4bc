#include "app/data_folder.h"
#include "app/ini_file.h"
#include "app/window_places.h"
#include "support/started_program.h"

#include <QScreen>

using namespace tvq52;
using tvq52::test::settle;

namespace {

QString savedPlace(test::StartedProgram& program, const char* window)
{
    return ReadSetting(QString::fromLatin1(kWindowsSection), QString::fromLatin1(window), QString(),
                       settingsPath(program.home.path()));
}

// The main window comes back at the size and place it had, in a new run of
// it (a language change builds it anew, as a new start does).
TEST(WindowPlacesKept, TheMainWindowComesBackAsItWasLeft)
{
    test::StartedProgram program;
    MainWindow& first = program.window();
    first.show();
    settle();
    // A size the main window takes with its overview, on the small test screen.
    first.resize(780, 470);
    first.move(10, 40);
    settle();
    first.hide();
    const auto saved = placeFromText(savedPlace(program, "Form1"));
    ASSERT_TRUE(saved) << savedPlace(program, "Form1").toStdString();
    EXPECT_EQ(saved->size(), QSize(780, 470));

    program.chooseLanguage("OptionIngles");
    MainWindow& again = program.window();
    ASSERT_NE(&again, &first);
    again.show();
    settle();
    EXPECT_EQ(again.size(), QSize(780, 470));
    EXPECT_EQ(again.pos(), saved->topLeft());
}

TEST(WindowPlacesKept, APlaceOffTheScreenIsBroughtBackOnIt)
{
    test::StartedProgram program;
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    ASSERT_TRUE(WriteSetting(QString::fromLatin1(kWindowsSection), QStringLiteral("Form7"),
                             placeText(QRect(screen.right() + 500, screen.bottom() + 300, 400, 300)),
                             settingsPath(program.home.path())));
    bool seen = false;
    test::whenModal([&](QWidget* d) {
        seen = true;
        EXPECT_TRUE(screen.contains(d->frameGeometry()))
            << placeText(d->geometry()).toStdString() << " on " << placeText(screen).toStdString();
        d->close();
    });
    program.window().button("SSCommandIdioma")->click();
    EXPECT_TRUE(seen);
    // Its place as it was shown is what the file keeps now.
    const auto kept = placeFromText(savedPlace(program, "Form7"));
    ASSERT_TRUE(kept);
    EXPECT_TRUE(screen.contains(*kept));
}

} // namespace

namespace {

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
