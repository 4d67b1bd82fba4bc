#include "app/data_folder.h"
#include "app/ini_file.h"
#include "support/file_size_limit.h"
#include "support/result_checks.h"
#include "support/temp_home.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace tvq52;
using tvq52::test::TempHome;

namespace {

QByteArray digest(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

} // namespace

TEST(DataFolder, FirstStartLaysOutTheFolderAndASecondChangesNothing)
{
    TempHome root;
    const QString home = root.file(QStringLiteral("nested/home"));
    const Result<bool> first = provisionDataFolder(home, findAssetFolder());
    ASSERT_TRUE(test::succeeded(first.status()));
    EXPECT_TRUE(*first);

    const IniFile ini = IniFile::load(settingsPath(home));
    const QStringList keys = {"SerialPort", "Modem", "TonePulse", "DialCode", "ModemSpeed", "Language", "User"};
    const QStringList values = {"1", "0", "1", "", "19200", "1034", ""};
    for (int i = 0; i < keys.size(); ++i)
        EXPECT_EQ(ini.value(QStringLiteral("Configuration"), keys[i]).value_or(QStringLiteral("<missing>")), values[i])
            << keys[i].toStdString();
    EXPECT_TRUE(QFileInfo(databasePath(home)).isFile());
    // The help pages come with the assets.
    EXPECT_TRUE(QFileInfo(QDir(helpFolder(home)).filePath(QStringLiteral("TVQ-52_ESP.html"))).isFile());

    const QByteArray iniBefore = digest(settingsPath(home));
    const QByteArray dbBefore = digest(databasePath(home));
    const Result<bool> second = provisionDataFolder(home, findAssetFolder());
    ASSERT_TRUE(test::succeeded(second.status()));
    EXPECT_FALSE(*second);
    EXPECT_EQ(digest(settingsPath(home)), iniBefore);
    EXPECT_EQ(digest(databasePath(home)), dbBefore);
}

TEST(DataFolder, AnExistingFolderIsNeverFilledInAndItsSettingsFileIsFoundInEitherCase)
{
    TempHome home;
    home.writeFile(QStringLiteral("notes.txt"), "mine");
    const Result<bool> r = provisionDataFolder(home.path(), findAssetFolder());
    EXPECT_FALSE(r.ok() && *r);
    EXPECT_FALSE(QFileInfo::exists(settingsPath(home.path())));
    EXPECT_FALSE(QFileInfo::exists(databasePath(home.path())));
    // The settings file is found in either case.
    home.writeFile(QStringLiteral("TVQ52.ini"), "[Configuration]\nSerialPort=2\n");
    EXPECT_EQ(QFileInfo(settingsPath(home.path())).fileName(), QStringLiteral("TVQ52.ini"));
}

TEST(DataFolder, HomeOptionWinsOverTheEnvironment)
{
    qputenv("TVQ52_HOME", "/tmp/from-env");
    EXPECT_EQ(resolveDataFolder(QStringLiteral("/tmp/from-option")), QStringLiteral("/tmp/from-option"));
    EXPECT_EQ(resolveDataFolder(QString()), QStringLiteral("/tmp/from-env"));
    qunsetenv("TVQ52_HOME");
    EXPECT_FALSE(resolveDataFolder(QString()).isEmpty());
    EXPECT_NE(resolveDataFolder(QString()), QStringLiteral("/tmp/from-env"));
}

TEST(DataFolder, AnOlderFolderOfOursGetsMissingAssetsButKeepsItsOwnFiles)
{
    ASSERT_FALSE(findAssetFolder().isEmpty());
    TempHome home;
    home.provision();
    const QString page = QDir(helpFolder(home.path())).filePath(QStringLiteral("TVQ-52_ENG.html"));
    ASSERT_TRUE(QFile::remove(page));
    // A language database the user has been translating stays as it is.
    QFile::remove(languageDatabasePath(home.path()));
    home.writeFile(QStringLiteral("Language.db"), "edited by the translator");
    const QByteArray mine = digest(languageDatabasePath(home.path()));

    const Result<bool> r = provisionDataFolder(home.path(), findAssetFolder());
    ASSERT_TRUE(test::succeeded(r.status()));
    EXPECT_FALSE(*r);
    EXPECT_TRUE(QFileInfo(page).isFile());
    EXPECT_EQ(digest(languageDatabasePath(home.path())), mine);
}

TEST(DataFolder, ASetUpCutShortLeavesNothingAndALaterStartCompletesAFolderOfOurs)
{
    TempHome root;
    const QString home = root.file(QStringLiteral("home"));
    {
        // The help pages no longer fit.
        tvq52::test::FileSizeLimit full(1024);
        EXPECT_FALSE(provisionDataFolder(home, findAssetFolder()).ok());
    }
    EXPECT_FALSE(QFileInfo::exists(home));
    EXPECT_EQ(QDir(root.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());

    ASSERT_TRUE(provisionDataFolder(home, findAssetFolder()).value());
    // A lost database is never replaced by an empty one while the settings remain.
    ASSERT_TRUE(QFile::remove(databasePath(home)));
    EXPECT_TRUE(test::succeeded(provisionDataFolder(home, findAssetFolder()).status()));
    EXPECT_FALSE(QFileInfo::exists(databasePath(home)));
    // Only assets left, as a set-up cut short leaves them: the folder is completed.
    ASSERT_TRUE(QFile::remove(settingsPath(home)));
    const Result<bool> r = provisionDataFolder(home, findAssetFolder());
    EXPECT_TRUE(test::succeeded(r.status()));
    EXPECT_EQ(IniFile::load(settingsPath(home)).value(QStringLiteral("Configuration"), QStringLiteral("ModemSpeed")),
              QStringLiteral("19200"));
    EXPECT_TRUE(QFileInfo(databasePath(home)).isFile());
}
