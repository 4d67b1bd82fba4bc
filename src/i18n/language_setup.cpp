#include "i18n/language_setup.h"

#include "core/prompter.h"

#include <QDir>
#include <QFile>

namespace tvq52 {

Translator::DbType languageDatabaseKind(const QString& path)
{
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        return file.read(16) == QByteArrayLiteral("SQLite format 3\0") ? Translator::SqlDb : Translator::TextFile;
    const bool sqlName = path.contains(QLatin1String(".MDB"), Qt::CaseInsensitive)
        || path.endsWith(QLatin1String(".db"), Qt::CaseInsensitive);
    return sqlName ? Translator::SqlDb : Translator::TextFile;
}

bool SetupLanguage(Translator& guru, Prompter& prompter, const QString& path, const QString& languageName,
                   const QString& programFolder)
{
    guru.bTestStrWidth = false;
    const QString trimmed = path.trimmed();
    if (trimmed.toUpper() == QLatin1String("<TESTWIDTH>")) {
        guru.bTestStrWidth = true;
        return true;
    }
    if (trimmed.isEmpty() || languageName.trimmed().isEmpty()) {
        guru.CloseLanguageDatabase();
        return true;
    }
    guru.sForeignColumnName = languageName;
    if (guru.OpenLanguageDatabase(trimmed, true, languageDatabaseKind(trimmed)))
        return true;
    const QString inFolder = QDir(programFolder).filePath(trimmed);
    if (guru.OpenLanguageDatabase(inFolder, true, languageDatabaseKind(inFolder)))
        return true;
    prompter.message(Message{QStringLiteral("While opening Language Database (") + trimmed
                                 + QStringLiteral(") the following error occurred:\r\r") + guru.sErrDescription(),
                             {},
                             MessageStyle::Exclamation,
                             0,
                             {}});
    return false;
}

} // namespace tvq52
