#include "i18n/language_setup.h"

#include "core/own_words.h"
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

bool setUpLanguage(Translator& translator, Prompter& prompter, const QString& path, const QString& languageName,
                   const QString& programFolder)
{
    translator.testingWidths = false;
    const QString trimmed = path.trimmed();
    if (trimmed.toUpper() == QLatin1String("<TESTWIDTH>")) {
        translator.testingWidths = true;
        return true;
    }
    if (trimmed.isEmpty() || languageName.trimmed().isEmpty()) {
        translator.closeLanguageDatabase();
        return true;
    }
    translator.foreignColumnName = languageName;
    if (translator.openLanguageDatabase(trimmed, true, languageDatabaseKind(trimmed)))
        return true;
    const QString inFolder = QDir(programFolder).filePath(trimmed);
    const Status opened = translator.openLanguageDatabase(inFolder, true, languageDatabaseKind(inFolder));
    if (opened)
        return true;
    prompter.message(Message{QStringLiteral("While opening Language Database (") + trimmed
                                 + QStringLiteral(") the following error occurred:\r\r")
                                 + untranslatedText(opened.error()),
                             {},
                             MessageStyle::Exclamation,
                             0,
                             {}});
    return false;
}

} // namespace tvq52
