#include "app/data_folder.h"

#include "app/ini_file.h"
#include "core/own_words.h"
#include "db/database.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
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

QString helpFolder(const QString& folder)
{
    return QDir(folder).filePath(QStringLiteral("help"));
}

QString resolveDataFolder(const QString& homeOption)
{
    QString folder = homeOption;
    if (folder.isEmpty())
        folder = qEnvironmentVariable("TVQ52_HOME");
    // Named here rather than after the running program, so that the window
    // and tvq52-cli share one per-user folder.
    if (folder.isEmpty()) {
        const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        if (!data.isEmpty())
            folder = QDir(data).filePath(QStringLiteral("tvq52/tvq52"));
    }
    if (folder.isEmpty())
        folder = QDir::home().filePath(QStringLiteral(".local/share/tvq52/tvq52"));
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

QString defaultSettingsText()
{
    return QStringLiteral(
        "[Configuration]\r\n"
        "SerialPort=1\r\n"
        "Modem=0\r\n"
        "TonePulse=1\r\n"
        "DialCode=\r\n"
        "ModemSpeed=19200\r\n"
        "Language=1034\r\n"
        "User=\r\n");
}

namespace {

Status copyTree(const QString& from, const QString& to)
{
    QDir source(from);
    QDirIterator it(from, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        const QString target = QDir(to).filePath(source.relativeFilePath(file));
        QDir().mkpath(QFileInfo(target).absolutePath());
        if (QFileInfo::exists(target))
            continue;
        if (!QFile::copy(file, target))
            return finalText(QStringLiteral("No se puede copiar %1 a %2").arg(file, target));
        // Assets are read-only in the installed folder, but the user owns them.
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    }
    return {};
}

Status writeDefaultSettings(const QString& folder)
{
    const Status saved = IniFile::fromText(defaultSettingsText()).save(settingsPath(folder));
    if (saved)
        return {};
    return finalText(
        QStringLiteral("No se puede escribir %1 (%2)").arg(settingsPath(folder), untranslatedText(saved.error())));
}

// Adds what a data folder lacks; every file is written whole or not at all.
Status completeFolder(const QString& folder, const QString& assetFolder)
{
    if (!assetFolder.isEmpty()) {
        if (Status copied = copyTree(assetFolder, folder); !copied)
            return copied;
    }
    if (!QFileInfo::exists(databasePath(folder))) {
        if (Status created = Database::createSqlite(databasePath(folder)); !created)
            return created;
    }
    if (QFileInfo::exists(settingsPath(folder)))
        return {};
    return writeDefaultSettings(folder);
}

bool isFolderOfOurs(const QString& folder)
{
    return QFileInfo::exists(settingsPath(folder)) || QFileInfo::exists(databasePath(folder))
        || QFileInfo::exists(languageDatabasePath(folder)) || QFileInfo(helpFolder(folder)).isDir();
}

} // namespace

Result<bool> provisionDataFolder(const QString& folder, const QString& assetFolder)
{
    QDir dir(folder);
    if (dir.exists() && !dir.isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        // A folder of ours gets the read-only assets it lacks (an older
        // version). One whose set-up never wrote the settings file or the
        // database (cut short) is completed. Once either exists, a missing
        // one is the user's to see: an empty database is never put in place
        // of a lost one. Nothing is replaced, and other folders are left alone.
        if (!isFolderOfOurs(folder))
            return false;
        const bool begun = QFileInfo::exists(settingsPath(folder)) || QFileInfo::exists(databasePath(folder));
        if (begun && assetFolder.isEmpty())
            return false;
        const Status completed = begun ? copyTree(assetFolder, folder) : completeFolder(folder, assetFolder);
        if (!completed)
            return completed.error();
        return false;
    }
    // The folder is laid out beside its place and moved there only when
    // complete, so a set-up cut short leaves nothing behind.
    const QString parent = QFileInfo(folder).absolutePath();
    if (!QDir().mkpath(parent))
        return finalText(QStringLiteral("No se puede crear la carpeta %1").arg(parent));
    QTemporaryDir staging(QDir(parent).filePath(QStringLiteral(".tvq52-setup-XXXXXX")));
    if (!staging.isValid())
        return finalText(QStringLiteral("No se puede crear la carpeta %1: %2").arg(folder, staging.errorString()));
    if (Status completed = completeFolder(staging.path(), assetFolder); !completed)
        return completed.error();
    QFile::setPermissions(staging.path(),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
                              | QFile::ReadOther | QFile::ExeOther);
    // An empty folder already in place makes way for the finished one.
    const bool hadEmptyFolder = dir.exists();
    if (hadEmptyFolder)
        QDir().rmdir(folder);
    std::error_code ec;
    std::filesystem::rename(staging.path().toStdString(), QDir::cleanPath(folder).toStdString(), ec);
    if (ec) {
        if (hadEmptyFolder)
            QDir().mkdir(folder);
        return finalText(
            QStringLiteral("No se puede crear la carpeta %1: %2").arg(folder, QString::fromStdString(ec.message())));
    }
    staging.setAutoRemove(false);
    return true;
}

} // namespace tvq52
