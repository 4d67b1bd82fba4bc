#include "app/gui/help_window.h"
#include "app/language_table.h"
#include "support/key_presses.h"
#include "support/started_program.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QSet>

using namespace tvq52;
using namespace tvq52::test;

namespace {

QString manualFolder()
{
    return QStringLiteral(TVQ52_ASSET_DIR "/help");
}

QString readPage(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

HelpWindow* shownHelp()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* help = qobject_cast<HelpWindow*>(w); help && help->isVisible())
            return help;
    return nullptr;
}

} // namespace

// The manual as the build made it: the same pages in every language, each
// picture there and showing the window the page says it shows, each link
// leading to a page, and every window text put in.
TEST(Manual, EveryLanguageHasThePagesWithPicturesOfTheWindowsTheyName)
{
    const QRegularExpression picture(QStringLiteral("<img src=\"([^\"]+)\"[^>]* data-window=\"([^\"]+)\""));
    const QRegularExpression link(QStringLiteral("href=\"([^\"#:]+)\""));
    const QStringList spanish =
        QDir(manualFolder() + QStringLiteral("/ESP")).entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name);
    ASSERT_GE(spanish.size(), 10);
    for (const LanguageInfo& language : languageTable()) {
        const QDir folder(manualFolder() + QLatin1Char('/') + helpFolderName(language.code));
        EXPECT_EQ(folder.entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name), spanish)
            << folder.path().toStdString();
        QSet<QString> windows;
        for (const QString& name : spanish) {
            const QString page = readPage(folder.filePath(name));
            const std::string where = folder.filePath(name).toStdString();
            ASSERT_FALSE(page.isEmpty()) << where;
            EXPECT_FALSE(page.contains(QStringLiteral("{{"))) << where;
            for (auto m = picture.globalMatch(page); m.hasNext();) {
                const auto found = m.next();
                const QImage image(folder.filePath(found.captured(1)));
                ASSERT_FALSE(image.isNull()) << where << ": " << found.captured(1).toStdString();
                EXPECT_EQ(image.text(QStringLiteral("Window")), found.captured(2))
                    << where << ": " << found.captured(1).toStdString();
                // A window's picture is of a window, not of an empty frame.
                EXPECT_GE(image.width(), 200) << found.captured(1).toStdString();
                windows.insert(found.captured(2));
            }
            for (auto m = link.globalMatch(page); m.hasNext();) {
                const QString target = m.next().captured(1);
                EXPECT_TRUE(QFileInfo(folder.filePath(target)).isFile()) << where << " links to " << target.toStdString();
            }
        }
        // The windows a user meets first are all pictured.
        for (const char* window : {"Form1", "Form2", "Form4", "Form5", "Form6", "FormDiario", "FormBaseDatos"})
            EXPECT_TRUE(windows.contains(QString::fromLatin1(window))) << folder.path().toStdString() << " " << window;
    }
}

// F1 opens the manual in the program's own help window, in the language of
// the windows (each window's page is checked with its help button).
TEST(Manual, F1OpensThePageOfTheWindowInUse)
{
    StartedProgram program;
    MainWindow& w = program.window();
    makeActive(&w);
    keyInto(&w, Qt::Key_F1);
    HelpWindow* help = shownHelp();
    ASSERT_NE(help, nullptr);
    const int code = program.shell->context().LanguageCodeValue;
    EXPECT_TRUE(help->shownPage().endsWith(helpPage(code, QStringLiteral("index")))) << help->shownPage().toStdString();
    EXPECT_TRUE(program.prompter.shown().isEmpty());

    // A second F1 brings the one help window back rather than another.
    keyInto(&w, Qt::Key_F1);
    EXPECT_EQ(shownHelp(), help);
    help->close();
    settle();

    program.chooseLanguage("OptionAleman");
    MainWindow& german = program.window();
    makeActive(&german);
    keyInto(&german, Qt::Key_F1);
    ASSERT_NE(shownHelp(), nullptr);
    EXPECT_TRUE(shownHelp()->shownPage().endsWith(QStringLiteral("DEU/index.html"))) << shownHelp()->shownPage().toStdString();
    EXPECT_EQ(shownHelp()->windowTitle(), QStringLiteral("Handbuch des TVQ-52 Manager - TVQ-52"));
    shownHelp()->close();
}
