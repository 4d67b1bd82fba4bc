#include "app/data_folder.h"
#include "app/ini_file.h"
#include "app/recent_files.h"
#include "support/file_bytes.h"
#include "support/result_checks.h"
#include "support/temp_home.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace tvq52;
using tvq52::test::TempHome;

namespace {

QString touch(const TempHome& home, const QString& name)
{
    home.writeFile(name, "x");
    return home.file(name);
}

} // namespace

TEST(RecentFiles, NewestFirstOnceEachAtMostEightAndOnlyWhatIsStillThere)
{
    TempHome home;
    home.provision();
    const QByteArray settingsBefore = [&] { return tvq52::test::readBytes(settingsPath(home.path())); }();
    RecentFiles recent(settingsPath(home.path()));
    EXPECT_TRUE(recent.files().isEmpty());

    QStringList made;
    for (int i = 0; i < 10; ++i) {
        made << touch(home, QStringLiteral("%1.TQ52").arg(1000 + i));
        ASSERT_TRUE(test::succeeded(recent.add(made.last())));
    }
    QStringList expected;
    for (int i = 9; i >= 2; --i)
        expected << made[i];
    EXPECT_EQ(recent.files(), expected);

    // Opened again: to the front, not twice; a relative name is made whole.
    QDir::setCurrent(home.path());
    ASSERT_TRUE(test::succeeded(recent.add(QStringLiteral("1005.TQ52"))));
    EXPECT_EQ(recent.files().first(), made[5]);
    EXPECT_EQ(recent.files().count(made[5]), 1);
    EXPECT_EQ(recent.files().size(), RecentFiles::kMost);
    EXPECT_EQ(recent.lastFolder(), QDir::cleanPath(home.path()));

    // A file since deleted is left out; the rest keep their order.
    ASSERT_TRUE(QFile::remove(made[9]));
    EXPECT_FALSE(recent.files().contains(made[9]));
    EXPECT_EQ(recent.files().first(), made[5]);

    // The settings themselves are untouched by the list.
    const IniFile ini = IniFile::load(settingsPath(home.path()));
    const IniFile before = IniFile::fromText(QString::fromUtf8(settingsBefore));
    for (const char* key : {"SerialPort", "Language", "User", "ModemSpeed"})
        EXPECT_EQ(ini.value(QStringLiteral("Configuration"), QString::fromLatin1(key)),
                  before.value(QStringLiteral("Configuration"), QString::fromLatin1(key)));

    ASSERT_TRUE(test::succeeded(recent.clear()));
    EXPECT_TRUE(recent.files().isEmpty());
    EXPECT_EQ(recent.lastFolder(), QDir::cleanPath(home.path()));
}

TEST(RecentFiles, FileDialogsOpenInTheLastFolderOrTheDocumentsNeverInTheDataFolder)
{
    TempHome data;
    TempHome last;
    const QString documents = documentsFolder();
    ASSERT_TRUE(QFileInfo(documents).isDir());

    // Nothing given: the last folder, else the documents.
    EXPECT_EQ(fileDialogStart(QString(), last.path(), data.path()), last.path());
    EXPECT_EQ(fileDialogStart(QString(), QString(), data.path()), documents);
    EXPECT_EQ(fileDialogStart(QString(), last.file(QStringLiteral("gone")), data.path()), documents);
    // A proposed name goes there too.
    EXPECT_EQ(fileDialogStart(QStringLiteral("4711_programacion_2026-12-07.pdf"), last.path(), data.path()),
              QDir(last.path()).filePath(QStringLiteral("4711_programacion_2026-12-07.pdf")));
    // The data folder is never offered, whether as the last folder or as given.
    EXPECT_EQ(fileDialogStart(QString(), data.path(), data.path()), documents);
    EXPECT_EQ(fileDialogStart(data.path(), last.path(), data.path()), last.path());
    EXPECT_EQ(fileDialogStart(data.file(QStringLiteral("x.csv")), last.path(), data.path()),
              QDir(last.path()).filePath(QStringLiteral("x.csv")));
    // Any other place given is kept.
    EXPECT_EQ(fileDialogStart(last.file(QStringLiteral("y.csv")), QString(), data.path()),
              last.file(QStringLiteral("y.csv")));
    // A folder whose name merely starts like the data folder's is another one.
    EXPECT_EQ(fileDialogStart(data.path() + QStringLiteral("-other/z.csv"), last.path(), data.path()),
              data.path() + QStringLiteral("-other/z.csv"));
}

TEST(RecentFiles, NameFiltersListBothCases)
{
    EXPECT_EQ(caseBlindFilters({QStringLiteral("PDF (*.pdf)")}), QStringList({"PDF (*.pdf *.PDF)"}));
    EXPECT_EQ(caseBlindFilters({QStringLiteral("Exchange (*.TQ52)"), QStringLiteral("All (*)")}),
              QStringList({"Exchange (*.TQ52 *.tq52)", "All (*)"}));
    // Written in both cases already, or without a list: as it was.
    EXPECT_EQ(caseBlindFilters({QStringLiteral("X (*.tq52 *.TQ52)"), QStringLiteral("plain")}),
              QStringList({"X (*.tq52 *.TQ52)", "plain"}));
    EXPECT_EQ(caseBlindFilters({QStringLiteral("Two (*.db *.csv)")}), QStringList({"Two (*.db *.csv *.DB *.CSV)"}));
}
