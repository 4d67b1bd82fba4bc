#include "i18n/language_setup.h"

#include "app/prompter.h"
#include "i18n/loc_guru.h"

#include <QDir>

namespace tvq52 {

bool SetupLanguage(LocGuru& guru, Prompter& prompter, const QString& path, const QString& languageName,
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
    const auto kind = trimmed.contains(QLatin1String(".MDB"), Qt::CaseInsensitive)
            || trimmed.endsWith(QLatin1String(".db"), Qt::CaseInsensitive)
        ? LocGuru::AccessDb : LocGuru::TextFile;
    QString used = trimmed;
    if (!guru.OpenLanguageDatabase(used, true, kind)) {
        used = QDir(programFolder).filePath(trimmed);
        if (!guru.OpenLanguageDatabase(used, true, kind)) {
            prompter.message(Message{QStringLiteral("While opening Language Database (") + trimmed
                                         + QStringLiteral(") the following error occurred:\r\r") + guru.sErrDescription(),
                                     {}, MessageStyle::Exclamation, 0});
            return false;
        }
    }
    return true;
}

} // namespace tvq52
