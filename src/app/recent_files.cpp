#include "app/recent_files.h"

#include "app/ini_file.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

namespace tvq52 {

namespace {

const QString kRecentSection = QStringLiteral("RecentFiles");
const QString kRecentFolderKey = QStringLiteral("LastFolder");

QString recentFileKey(int i)
{
    return QStringLiteral("File%1").arg(i + 1);
}

bool isInsideFolder(const QString& path, const QString& folder)
{
    if (folder.isEmpty())
        return false;
    const QString p = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const QString f = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    return p == f || p.startsWith(f + QLatin1Char('/'));
}

} // namespace

RecentFiles::RecentFiles(QString settingsFile) : file_(std::move(settingsFile)) {}

QStringList RecentFiles::stored() const
{
    const IniFile ini = IniFile::load(file_);
    QStringList files;
    for (int i = 0; i < kMost; ++i) {
        const QString f = ini.value(kRecentSection, recentFileKey(i)).value_or(QString());
        if (!f.isEmpty())
            files << f;
    }
    return files;
}

QStringList RecentFiles::files() const
{
    QStringList existing;
    for (const QString& f : stored())
        if (QFileInfo(f).isFile())
            existing << f;
    return existing;
}

Status RecentFiles::store(const QStringList& files, const QString& folder) const
{
    IniFile ini = IniFile::load(file_);
    for (int i = 0; i < kMost; ++i)
        ini.setValue(kRecentSection, recentFileKey(i), files.value(i));
    ini.setValue(kRecentSection, kRecentFolderKey, folder);
    return ini.save(file_);
}

Status RecentFiles::add(const QString& path)
{
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QStringList files = stored();
    files.removeAll(absolute);
    files.prepend(absolute);
    return store(files.mid(0, kMost), QFileInfo(absolute).absolutePath());
}

Status RecentFiles::clear()
{
    return store({}, lastFolder());
}

QString RecentFiles::lastFolder() const
{
    return IniFile::load(file_).value(kRecentSection, kRecentFolderKey).value_or(QString());
}

Status RecentFiles::setLastFolder(const QString& folder)
{
    return store(stored(), folder);
}

QString documentsFolder()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return !documents.isEmpty() && QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

QString fileDialogStart(const QString& given, const QString& lastFolder, const QString& dataFolder)
{
    QString folder = lastFolder;
    if (folder.isEmpty() || !QFileInfo(folder).isDir() || isInsideFolder(folder, dataFolder))
        folder = documentsFolder();
    if (given.isEmpty())
        return folder;
    const QFileInfo info(given);
    if (!given.contains(QLatin1Char('/')))
        return QDir(folder).filePath(given);
    if (isInsideFolder(given, dataFolder))
        return info.isDir() ? folder : QDir(folder).filePath(info.fileName());
    return given;
}

QStringList caseBlindFilters(const QStringList& filters)
{
    static const QRegularExpression pattern(QStringLiteral("\\(([^)]*)\\)"));
    QStringList result;
    for (const QString& filter : filters) {
        const QRegularExpressionMatch m = pattern.match(filter);
        if (!m.hasMatch()) {
            result << filter;
            continue;
        }
        QStringList globs = m.captured(1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const QStringList written = globs;
        for (const QString& glob : written)
            for (const QString& other : {glob.toLower(), glob.toUpper()})
                if (!globs.contains(other))
                    globs << other;
        QString expanded = filter;
        expanded.replace(m.capturedStart(1), m.capturedLength(1), globs.join(QLatin1Char(' ')));
        result << expanded;
    }
    return result;
}

} // namespace tvq52
