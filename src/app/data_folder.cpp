#include "app/data_folder.h"

#include "app/ini_file.h"
#include "app/language_table.h"
#include "app/settings.h"
#include "core/own_words.h"
#include "db/database.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <filesystem>

namespace tvq52 {

QString settingsPath(const QString& folder)
{
    // The file may have been written as TVQ52.ini on a case-sensitive disk.
    const QDir dir(folder);
    for (const QString& name : dir.entryList({QStringLiteral("*.ini")}, QDir::Files))
        if (name.compare(QLatin1String("tvq52.ini"), Qt::CaseInsensitive) == 0)
            return dir.filePath(name);
    return dir.filePath(QStringLiteral("tvq52.ini"));
}

QString databasePath(const QString& folder)
{
    return QDir(folder).filePath(QStringLiteral("tvq52.db"));
}

QString languageDatabasePath(const QString& folder)
{
    return QDir(folder).filePath(QStringLiteral("Language.db"));
}

QString restoreMarkerPath(const QString& folder)
{
    return QDir(folder).filePath(QStringLiteral("backupTVQ52.bak"));
}

QString helpFolder(const QString& assetFolder)
{
    return QDir(assetFolder).filePath(QStringLiteral("help"));
}

namespace {

// Named here rather than after the running program, so that the window and
// tvq52-cli share one per-user folder.
QString perUserFolder()
{
    QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty())
        data = QDir::home().filePath(QStringLiteral(".local/share"));
    return QDir::cleanPath(QDir(data).filePath(QStringLiteral("tvq52")));
}

} // namespace

QString resolveDataFolder(const QString& homeOption)
{
    QString folder = homeOption;
    if (folder.isEmpty())
        folder = qEnvironmentVariable("TVQ52_HOME");
    if (folder.isEmpty())
        folder = perUserFolder();
    return QDir::cleanPath(QDir(folder).absolutePath());
}

QString findAssetFolder()
{
    QStringList candidates;
    const QString env = qEnvironmentVariable("TVQ52_ASSETS");
    if (!env.isEmpty())
        candidates << env;
    const QString appDir = QCoreApplication::applicationDirPath();
    if (!appDir.isEmpty()) {
        candidates << QDir(appDir).filePath(QStringLiteral("../share/tvq52"));
        candidates << QDir(appDir).filePath(QStringLiteral("assets"));
    }
    for (const QString& c : candidates)
        if (QFileInfo(c).isDir())
            return QDir::cleanPath(QDir(c).absolutePath());
    return {};
}

QString defaultSettingsText(const QString& languageId)
{
    QString language = languageId;
    if (language.isEmpty()) {
        // The program's own language when the system's is none of the seven.
        const LanguageInfo* system = languageFromSystem(systemLanguages());
        language = QString::fromLatin1(system ? system->localeId : languageTable().front().localeId);
    }
    return QStringLiteral(
               "[Configuration]\r\n"
               "SerialPort=1\r\n"
               "Modem=0\r\n"
               "TonePulse=1\r\n"
               "DialCode=\r\n"
               "ModemSpeed=19200\r\n"
               "Language=%1\r\n"
               "User=\r\n")
        .arg(language);
}

namespace {

Status writeDefaultSettings(const QString& folder)
{
    const Status saved = IniFile::fromText(defaultSettingsText()).save(settingsPath(folder));
    if (saved)
        return {};
    return finalText(
        QStringLiteral("No se puede escribir %1 (%2)").arg(settingsPath(folder), untranslatedText(saved.error())));
}

// Adds what a data folder lacks; every file is written whole or not at all.
Status completeFolder(const QString& folder)
{
    if (!QFileInfo::exists(databasePath(folder))) {
        if (Status created = Database::createSqlite(databasePath(folder)); !created)
            return created;
    }
    if (QFileInfo::exists(settingsPath(folder)))
        return {};
    return writeDefaultSettings(folder);
}

// Adds the keys the settings file lacks with the values of a new folder's;
// an existing file that cannot be read is left alone.
Status completeSettings(const QString& folder, QStringList* added)
{
    const QString file = settingsPath(folder);
    IniFile ini = IniFile::load(file);
    if (!ini.loaded() && QFileInfo::exists(file))
        return {};
    const IniFile defaults = IniFile::fromText(defaultSettingsText());
    const QString section = QString::fromLatin1(kSettingsSection);
    QStringList missing;
    for (const char* name : {"SerialPort", "Modem", "TonePulse", "DialCode", "ModemSpeed", "Language", "User"}) {
        const QString key = QString::fromLatin1(name);
        if (ini.value(section, key))
            continue;
        ini.setValue(section, key, defaults.value(section, key).value_or(QString()));
        missing << key;
    }
    if (missing.isEmpty())
        return {};
    if (const Status saved = ini.save(file); !saved)
        return ownWords(QStringLiteral("No se puede completar el archivo de configuración %1 (%2)"),
                        {file, untranslatedText(saved.error())});
    if (added)
        *added = missing;
    return {};
}

bool isFolderOfOurs(const QString& folder)
{
    // Former versions copied the help pages in too.
    return QFileInfo::exists(settingsPath(folder)) || QFileInfo::exists(databasePath(folder))
        || QFileInfo::exists(languageDatabasePath(folder)) || QFileInfo(helpFolder(folder)).isDir();
}

bool holdsUserData(const QString& folder)
{
    return QFileInfo::exists(settingsPath(folder)) || QFileInfo::exists(databasePath(folder));
}

// Earlier versions copied the shipped assets into the data folder and read
// them there, so upgrades never reached the user. The copies of the help
// pages and report templates go (the installed ones are read); the copied
// language database stays, as a translator may have worked in it, but is
// dated back so that the installed one is read until the export writes
// into the copy again. The copied help folder marks such a folder: this
// happens once.
void retireFormerCopies(const QString& folder)
{
    const QDir dir(folder);
    if (!QFileInfo(dir.filePath(QStringLiteral("help"))).isDir())
        return;
    if (QFile language(languageDatabasePath(folder)); language.open(QIODevice::ReadWrite))
        language.setFileTime(QDateTime::fromSecsSinceEpoch(0, Qt::UTC), QFileDevice::FileModificationTime);
    QDir(dir.filePath(QStringLiteral("reports"))).removeRecursively();
    QDir(dir.filePath(QStringLiteral("help"))).removeRecursively();
}

bool renameEntry(const QString& from, const QString& to, QString* why)
{
    std::error_code ec;
    std::filesystem::rename(from.toStdString(), to.toStdString(), ec);
    if (ec && why)
        *why = QString::fromStdString(ec.message());
    return !ec;
}

// An empty folder that is there stays (it may be a mount point, which
// cannot be replaced): the files are made in a folder inside it and moved
// up one by one, the settings file last: a failed move takes back those
// moved, and a set-up cut short by a crash leaves at most a database,
// which the next start completes.
Result<bool> layOutInside(const QString& folder)
{
    QTemporaryDir staging(QDir(folder).filePath(QStringLiteral(".tvq52-setup-XXXXXX")));
    if (!staging.isValid())
        return finalText(QStringLiteral("No se puede crear la carpeta %1: %2").arg(folder, staging.errorString()));
    if (Status completed = completeFolder(staging.path()); !completed)
        return completed.error();
    QStringList names = QDir(staging.path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    names.removeAll(QStringLiteral("tvq52.ini"));
    names << QStringLiteral("tvq52.ini");
    QStringList moved;
    for (const QString& name : names) {
        QString why;
        if (!renameEntry(QDir(staging.path()).filePath(name), QDir(folder).filePath(name), &why)) {
            for (const QString& back : moved)
                QFile::remove(QDir(folder).filePath(back));
            return finalText(QStringLiteral("No se puede crear la carpeta %1: %2").arg(folder, why));
        }
        moved << name;
    }
    return true;
}

} // namespace

FormerFolder moveFormerFolder(const QString& former, const QString& folder)
{
    FormerFolder result{FormerFolder::Outcome::Kept, former, folder, {}};
    const QDir from(former);
    const QDir to(folder);
    const QStringList entries = from.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : entries) {
        const QString target = to.filePath(name);
        if (QFileInfo::exists(target) && QFileInfo(target) != QFileInfo(former)) {
            result.why = QStringLiteral("%1 ya existe").arg(target);
            return result;
        }
    }
    QStringList moved;
    for (const QString& name : entries) {
        if (!renameEntry(from.filePath(name), to.filePath(name), &result.why)) {
            // Back as it was: the former folder stays whole and in use.
            for (const QString& back : moved)
                renameEntry(to.filePath(back), from.filePath(back), nullptr);
            result.why = QStringLiteral("%1: %2").arg(from.filePath(name), result.why);
            return result;
        }
        moved << name;
    }
    QDir().rmdir(former);
    result.outcome = FormerFolder::Outcome::Moved;
    return result;
}

DataFolderChoice chooseDataFolder(const QString& homeOption)
{
    DataFolderChoice choice{resolveDataFolder(homeOption), {}};
    if (!homeOption.isEmpty() || !qEnvironmentVariable("TVQ52_HOME").isEmpty())
        return choice;
    const QString former = QDir(choice.folder).filePath(QStringLiteral("tvq52"));
    // Once the new place holds data of its own, a former folder is left alone.
    if (!QFileInfo(former).isDir() || !holdsUserData(former) || holdsUserData(choice.folder))
        return choice;
    choice.former = moveFormerFolder(former, choice.folder);
    if (choice.former.outcome == FormerFolder::Outcome::Kept)
        choice.folder = former;
    return choice;
}

QString formerFolderNotice(const FormerFolder& former, const std::function<QString(const QString&)>& translate)
{
    switch (former.outcome) {
    case FormerFolder::Outcome::Moved:
        return translate(QStringLiteral("Los datos de %1 se han trasladado a %2.")).arg(former.from, former.to);
    case FormerFolder::Outcome::Kept:
        return translate(QStringLiteral("No se pueden trasladar los datos de %1 a %2 (%3); se siguen usando en %1."))
            .arg(former.from, former.to, former.why);
    case FormerFolder::Outcome::None:
        break;
    }
    return {};
}

QString languageDatabaseToRead(const QString& folder, const QString& assetFolder)
{
    const QFileInfo own(languageDatabasePath(folder));
    if (assetFolder.isEmpty())
        return own.filePath();
    const QFileInfo installed(languageDatabasePath(assetFolder));
    if (own.isFile() && (!installed.isFile() || own.lastModified() > installed.lastModified()))
        return own.filePath();
    return installed.filePath();
}

Status prepareLanguageExport(const QString& folder, const QString& assetFolder)
{
    const QString own = languageDatabasePath(folder);
    if (QFileInfo::exists(own) || assetFolder.isEmpty())
        return {};
    const QString installed = languageDatabasePath(assetFolder);
    // Written beside its place and moved in whole.
    const QString part = own + QStringLiteral(".part");
    QFile::remove(part);
    if (!QFile::copy(installed, part) || !QFile::rename(part, own)) {
        QFile::remove(part);
        return finalText(QStringLiteral("No se puede copiar %1 a %2").arg(installed, own));
    }
    // The installed file is read-only; the copy is the user's to write.
    QFile::setPermissions(own, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return {};
}

QString settingsAddedNotice(const QString& folder, const QStringList& keys,
                            const std::function<QString(const QString&)>& translate)
{
    if (keys.isEmpty())
        return {};
    return translate(QStringLiteral("Al archivo de configuración %1 le faltaban %2: se han añadido con los valores "
                                    "de una carpeta nueva."))
        .arg(settingsPath(folder), keys.join(QLatin1String(", ")));
}

Result<bool> provisionDataFolder(const QString& folder, QStringList* settingsAdded)
{
    QDir dir(folder);
    if (dir.exists() && !dir.isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        // A folder of ours whose set-up never wrote the settings file or the
        // database (cut short) is completed. Once either exists, a missing
        // one is the user's to see: an empty database is never put in place
        // of a lost one. Nothing is replaced, and other folders are left alone.
        if (!isFolderOfOurs(folder))
            return false;
        retireFormerCopies(folder);
        if (holdsUserData(folder)) {
            if (const Status completed = completeSettings(folder, settingsAdded); !completed)
                return completed.error();
            return false;
        }
        if (const Status completed = completeFolder(folder); !completed)
            return completed.error();
        return false;
    }
    if (dir.exists())
        return layOutInside(folder);
    // The folder is laid out beside its place and moved there only when
    // complete, so a set-up cut short leaves nothing behind.
    const QString parent = QFileInfo(folder).absolutePath();
    if (!QDir().mkpath(parent))
        return finalText(QStringLiteral("No se puede crear la carpeta %1").arg(parent));
    QTemporaryDir staging(QDir(parent).filePath(QStringLiteral(".tvq52-setup-XXXXXX")));
    if (!staging.isValid())
        return finalText(QStringLiteral("No se puede crear la carpeta %1: %2").arg(folder, staging.errorString()));
    if (Status completed = completeFolder(staging.path()); !completed)
        return completed.error();
    QFile::setPermissions(staging.path(),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
                              | QFile::ReadOther | QFile::ExeOther);
    QString why;
    if (!renameEntry(staging.path(), QDir::cleanPath(folder), &why))
        return finalText(QStringLiteral("No se puede crear la carpeta %1: %2").arg(folder, why));
    staging.setAutoRemove(false);
    return true;
}

} // namespace tvq52
