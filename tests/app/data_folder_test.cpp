#include "app/app_context.h"
#include "app/data_folder.h"
#include "app/ini_file.h"
#include "app/settings.h"
#include "support/file_bytes.h"
#include "support/file_size_limit.h"
#include "support/result_checks.h"
#include "support/temp_home.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPair>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace tvq52;
using tvq52::test::TempHome;

namespace {

// Sets a file's modification time, as an export or an upgrade would leave it.
void setModified(const QString& path, const QDateTime& when)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(when, QFileDevice::FileModificationTime));
}

QByteArray digest(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

} // namespace

// An empty folder that is there (a mount point cannot be replaced) is laid
// out where it stands; a missing one is made whole beside its place.
TEST(DataFolder, FirstStartLaysOutTheFolderInPlaceAndASecondChangesNothing)
{
    TempHome root;
    const QString home = root.file(QStringLiteral("nested/home"));
    ASSERT_TRUE(QDir().mkpath(home));
    struct stat before {}, after {};
    ASSERT_EQ(::stat(QFile::encodeName(home).constData(), &before), 0);
    const Result<bool> first = provisionDataFolder(home);
    ASSERT_TRUE(test::succeeded(first.status()));
    EXPECT_TRUE(*first);
    ASSERT_EQ(::stat(QFile::encodeName(home).constData(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);

    const IniFile ini = IniFile::load(settingsPath(home));
    const QStringList keys = {"SerialPort", "Modem", "TonePulse", "DialCode", "ModemSpeed", "Language", "User"};
    const QStringList values = {"1", "0", "1", "", "19200", "1034", ""};
    for (int i = 0; i < keys.size(); ++i)
        EXPECT_EQ(ini.value(QStringLiteral("Configuration"), keys[i]).value_or(QStringLiteral("<missing>")), values[i])
            << keys[i].toStdString();
    EXPECT_TRUE(QFileInfo(databasePath(home)).isFile());
    // The shipped assets stay where they are installed: upgrades reach the user.
    EXPECT_EQ(QDir(home).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList({"tvq52.db", "tvq52.ini"}));

    const QByteArray iniBefore = digest(settingsPath(home));
    const QByteArray dbBefore = digest(databasePath(home));
    const Result<bool> second = provisionDataFolder(home);
    ASSERT_TRUE(test::succeeded(second.status()));
    EXPECT_FALSE(*second);
    EXPECT_EQ(digest(settingsPath(home)), iniBefore);
    EXPECT_EQ(digest(databasePath(home)), dbBefore);
}

TEST(DataFolder, AnExistingFolderIsNeverFilledInAndItsSettingsFileIsFoundInEitherCase)
{
    TempHome home;
    home.writeFile(QStringLiteral("notes.txt"), "mine");
    const Result<bool> r = provisionDataFolder(home.path());
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

TEST(DataFolder, AnOlderFolderOfOursKeepsItsOwnFilesAndGetsNoCopies)
{
    TempHome home;
    home.provision();
    // A language database the user has been translating stays as it is.
    home.writeFile(QStringLiteral("Language.db"), "edited by the translator");
    const QByteArray mine = digest(languageDatabasePath(home.path()));
    const QStringList before = QDir(home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

    const Result<bool> r = provisionDataFolder(home.path());
    ASSERT_TRUE(test::succeeded(r.status()));
    EXPECT_FALSE(*r);
    EXPECT_EQ(digest(languageDatabasePath(home.path())), mine);
    EXPECT_EQ(QDir(home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
}

TEST(DataFolder, CopiesOfTheAssetsFromEarlierVersionsAreRetiredOnceAndTheUsersFilesKept)
{
    TempHome home;
    home.provision();
    // What an earlier version's first start left: copies of every asset.
    ASSERT_TRUE(QDir(home.path()).mkpath(QStringLiteral("help")));
    ASSERT_TRUE(QDir(home.path()).mkpath(QStringLiteral("reports")));
    home.writeFile(QStringLiteral("help/TVQ-52_ENG.html"), "old help");
    home.writeFile(QStringLiteral("reports/tvq52_1.xml"), "old template");
    home.writeFile(QStringLiteral("Language.db"), "copied, perhaps translated in");
    const QByteArray language = digest(languageDatabasePath(home.path()));
    const QByteArray db = digest(databasePath(home.path()));

    ASSERT_TRUE(test::succeeded(provisionDataFolder(home.path()).status()));
    EXPECT_FALSE(QFileInfo::exists(home.file(QStringLiteral("help"))));
    EXPECT_FALSE(QFileInfo::exists(home.file(QStringLiteral("reports"))));
    EXPECT_EQ(digest(languageDatabasePath(home.path())), language);
    EXPECT_EQ(digest(databasePath(home.path())), db);
    // The installed language database is read again...
    EXPECT_EQ(languageDatabaseToRead(home.path(), findAssetFolder()), languageDatabasePath(findAssetFolder()));
    // ... until the export writes into the copy: that is done once only.
    setModified(languageDatabasePath(home.path()), QDateTime::currentDateTime().addSecs(60));
    ASSERT_TRUE(test::succeeded(provisionDataFolder(home.path()).status()));
    EXPECT_EQ(languageDatabaseToRead(home.path(), findAssetFolder()), languageDatabasePath(home.path()));
}

TEST(DataFolder, TheFirstStartSpeaksTheSystemsLanguageWhenItIsOneOfTheSeven)
{
    EXPECT_TRUE(defaultSettingsText(QStringLiteral("1031")).contains(QStringLiteral("\r\nLanguage=1031\r\n")));
    const QByteArray saved = qgetenv("LC_ALL");
    const QList<QPair<const char*, const char*>> cases{{"de_DE.UTF-8", "1031"},
                                                       {"pt_BR.UTF-8", "2070"},
                                                       {"ca_ES.UTF-8", "1027"},
                                                       {"nl_NL.UTF-8", "1034"},
                                                       {"C.UTF-8", "1034"}};
    for (const auto& [locale, id] : cases) {
        qputenv("LC_ALL", locale);
        TempHome root;
        const QString home = root.file(QStringLiteral("home"));
        ASSERT_TRUE(test::succeeded(provisionDataFolder(home).status()));
        EXPECT_EQ(IniFile::load(settingsPath(home)).value(QStringLiteral("Configuration"), QStringLiteral("Language")),
                  QString::fromLatin1(id))
            << locale;
    }
    qputenv("LC_ALL", saved);
}

TEST(DataFolder, TheInstalledLanguageDatabaseIsReadUnlessTheExportWroteANewerOne)
{
    TempHome assets;
    TempHome home;
    home.provision();
    assets.writeFile(QStringLiteral("Language.db"), "installed");
    const QString installed = languageDatabasePath(assets.path());
    const QString own = languageDatabasePath(home.path());
    EXPECT_EQ(languageDatabaseToRead(home.path(), assets.path()), installed);

    // The export starts from a copy of the installed one and writes into it.
    ASSERT_TRUE(test::succeeded(prepareLanguageExport(home.path(), assets.path())));
    EXPECT_EQ(digest(own), digest(installed));
    EXPECT_TRUE(QFileInfo(own).isWritable());
    setModified(own, QFileInfo(installed).lastModified().addSecs(60));
    EXPECT_EQ(languageDatabaseToRead(home.path(), assets.path()), own);
    // An export already there is kept, edits and all.
    home.writeFile(QStringLiteral("Language.db"), "translated");
    ASSERT_TRUE(test::succeeded(prepareLanguageExport(home.path(), assets.path())));
    EXPECT_EQ(digest(own), QCryptographicHash::hash("translated", QCryptographicHash::Sha256));

    // An upgrade installs a newer one: it is read, and the user's file stays.
    setModified(installed, QFileInfo(own).lastModified().addSecs(60));
    EXPECT_EQ(languageDatabaseToRead(home.path(), assets.path()), installed);
    EXPECT_TRUE(QFileInfo::exists(own));
}

TEST(DataFolder, AFormerFolderIsMovedUpOnceAndItsDataKept)
{
    TempHome root;
    const QString folder = root.file(QStringLiteral("tvq52"));
    const QString former = QDir(folder).filePath(QStringLiteral("tvq52"));
    ASSERT_TRUE(test::succeeded(provisionDataFolder(former).status()));
    ASSERT_TRUE(QDir(former).mkpath(QStringLiteral("help")));
    ASSERT_TRUE(test::writeBytes(restoreMarkerPath(former), {}));
    const QByteArray db = digest(databasePath(former));

    const FormerFolder moved = moveFormerFolder(former, folder);
    EXPECT_EQ(moved.outcome, FormerFolder::Outcome::Moved) << moved.why.toStdString();
    EXPECT_FALSE(QFileInfo::exists(former));
    EXPECT_EQ(digest(databasePath(folder)), db);
    EXPECT_TRUE(QFileInfo(settingsPath(folder)).isFile());
    EXPECT_TRUE(QFileInfo(restoreMarkerPath(folder)).isFile());
    EXPECT_TRUE(QFileInfo(QDir(folder).filePath(QStringLiteral("help"))).isDir());

    const QString notice = formerFolderNotice(moved, [](const QString& t) { return t; });
    EXPECT_TRUE(notice.contains(former) && notice.contains(folder)) << notice.toStdString();
    EXPECT_TRUE(formerFolderNotice(FormerFolder{}, [](const QString& t) { return t; }).isEmpty());
}

TEST(DataFolder, AFormerFolderThatCannotBeMovedWholeStaysInUseUntouched)
{
    TempHome root;
    const QString folder = root.file(QStringLiteral("tvq52"));
    const QString former = QDir(folder).filePath(QStringLiteral("tvq52"));
    ASSERT_TRUE(test::succeeded(provisionDataFolder(former).status()));
    ASSERT_TRUE(test::writeBytes(QDir(former).filePath(QStringLiteral("notes.txt")), "former"));
    // Something of the same name is in the way at the new place.
    ASSERT_TRUE(test::writeBytes(QDir(folder).filePath(QStringLiteral("notes.txt")), "other"));
    const QStringList entries = QDir(former).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    const QByteArray db = digest(databasePath(former));

    const FormerFolder kept = moveFormerFolder(former, folder);
    EXPECT_EQ(kept.outcome, FormerFolder::Outcome::Kept);
    EXPECT_TRUE(kept.why.contains(QStringLiteral("notes.txt"))) << kept.why.toStdString();
    EXPECT_EQ(QDir(former).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), entries);
    EXPECT_EQ(digest(databasePath(former)), db);
    EXPECT_FALSE(QFileInfo::exists(databasePath(folder)));
    const QString notice = formerFolderNotice(kept, [](const QString& t) { return t; });
    EXPECT_TRUE(notice.contains(former) && notice.contains(kept.why)) << notice.toStdString();
}

// The per-user folder's choice: the environment decides where it is.
TEST(DataFolder, ThePerUserFolderTakesAFormerOneOnceAndOnlyWithoutAFolderNamed)
{
    TempHome root;
    const QByteArray savedData = qgetenv("XDG_DATA_HOME");
    const QByteArray savedHome = qgetenv("TVQ52_HOME");
    qunsetenv("TVQ52_HOME");
    qputenv("XDG_DATA_HOME", root.path().toUtf8());
    const QString folder = root.file(QStringLiteral("tvq52"));
    const QString former = root.file(QStringLiteral("tvq52/tvq52"));
    ASSERT_TRUE(test::succeeded(provisionDataFolder(former).status()));

    // A folder named on the command line leaves the former one alone.
    const DataFolderChoice named = chooseDataFolder(root.file(QStringLiteral("elsewhere")));
    EXPECT_EQ(named.former.outcome, FormerFolder::Outcome::None);
    EXPECT_TRUE(QFileInfo(settingsPath(former)).isFile());

    const DataFolderChoice first = chooseDataFolder(QString());
    EXPECT_EQ(first.folder, folder);
    EXPECT_EQ(first.former.outcome, FormerFolder::Outcome::Moved);
    EXPECT_TRUE(QFileInfo(settingsPath(folder)).isFile());
    // Done once: the next start finds nothing to move.
    const DataFolderChoice second = chooseDataFolder(QString());
    EXPECT_EQ(second.folder, folder);
    EXPECT_EQ(second.former.outcome, FormerFolder::Outcome::None);

    savedData.isNull() ? qunsetenv("XDG_DATA_HOME") : qputenv("XDG_DATA_HOME", savedData);
    if (!savedHome.isNull())
        qputenv("TVQ52_HOME", savedHome);
}

TEST(DataFolder, ASetUpCutShortLeavesNothingAndALaterStartCompletesAFolderOfOurs)
{
    TempHome root;
    const QString home = root.file(QStringLiteral("home"));
    {
        // The new database no longer fits.
        tvq52::test::FileSizeLimit full(1024);
        EXPECT_FALSE(provisionDataFolder(home).ok());
    }
    EXPECT_FALSE(QFileInfo::exists(home));
    EXPECT_EQ(QDir(root.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());

    ASSERT_TRUE(provisionDataFolder(home).value());
    // A lost database is never replaced by an empty one while the settings remain.
    ASSERT_TRUE(QFile::remove(databasePath(home)));
    EXPECT_TRUE(test::succeeded(provisionDataFolder(home).status()));
    EXPECT_FALSE(QFileInfo::exists(databasePath(home)));
    // Only a language database left, as an earlier set-up cut short left
    // its copies: the folder is completed.
    ASSERT_TRUE(QFile::remove(settingsPath(home)));
    ASSERT_TRUE(test::writeBytes(languageDatabasePath(home), {}));
    const Result<bool> r = provisionDataFolder(home);
    EXPECT_TRUE(test::succeeded(r.status()));
    EXPECT_EQ(IniFile::load(settingsPath(home)).value(QStringLiteral("Configuration"), QStringLiteral("ModemSpeed")),
              QStringLiteral("19200"));
    EXPECT_TRUE(QFileInfo(databasePath(home)).isFile());
}

// A restored database often comes alone, or with a settings file of an
// older version: the keys it lacks are added with a new folder's values,
// once, and every line already written stays as it was.
TEST(DataFolder, ASettingsFileIsCompletedAroundWhatIsWritten)
{
    TempHome root;
    const QString home = root.file(QStringLiteral("restored"));
    ASSERT_TRUE(provisionDataFolder(home).value());
    ASSERT_TRUE(QFile::remove(settingsPath(home)));
    QStringList added;
    ASSERT_TRUE(test::succeeded(provisionDataFolder(home, &added).status()));
    EXPECT_EQ(added, QStringList({"SerialPort", "Modem", "TonePulse", "DialCode", "ModemSpeed", "Language", "User"}));
    AppContext ctx(home);
    EXPECT_TRUE(test::succeeded(readStartupSettings(ctx).status()));

    const QByteArray written = "; kept\r\n[Configuration]\r\nserialport=3\r\nLanguage=1031\r\n\r\n[Mine]\r\nModem=7\r\n";
    ASSERT_TRUE(test::writeBytes(settingsPath(home), written));
    ASSERT_TRUE(test::succeeded(provisionDataFolder(home, &added).status()));
    EXPECT_EQ(added, QStringList({"Modem", "TonePulse", "DialCode", "ModemSpeed", "User"}));
    EXPECT_TRUE(settingsAddedNotice(home, added, [](const QString& t) { return t; }).contains(QStringLiteral("User")));
    const QByteArray completed = digest(settingsPath(home));
    const IniFile ini = IniFile::load(settingsPath(home));
    for (const auto& [key, value] : {std::pair{"SerialPort", "3"}, {"Language", "1031"}, {"Modem", "0"}})
        EXPECT_EQ(ini.value(QStringLiteral("Configuration"), QString::fromLatin1(key)), QString::fromLatin1(value));
    EXPECT_EQ(ini.value(QStringLiteral("Mine"), QStringLiteral("Modem")), QStringLiteral("7"));
    EXPECT_TRUE(ini.toBytes().startsWith("; kept\r\n[Configuration]\r\nserialport=3\r\nLanguage=1031\r\n"));

    added.clear();
    ASSERT_TRUE(test::succeeded(provisionDataFolder(home, &added).status()));
    EXPECT_TRUE(added.isEmpty());
    EXPECT_EQ(digest(settingsPath(home)), completed);
}
