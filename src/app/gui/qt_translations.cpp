#include "app/gui/qt_translations.h"

#include "app/language_table.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

namespace tvq52 {

namespace {

// Brazilian Portuguese is closer to Portugal's than English is.
const char* siblingOf(const QString& iso)
{
    return iso == QLatin1String("pt") ? "pt_BR" : nullptr;
}

QPointer<QTranslator>& installed()
{
    static QPointer<QTranslator> translator;
    return translator;
}

} // namespace

QStringList qtTranslationFiles(int languageCode)
{
    const LanguageInfo* l = languageByCode(languageCode);
    if (!l || languageCode == 3000)
        return {};
    const QString iso = QString::fromLatin1(l->iso);
    QStringList files{QStringLiteral("qtbase_%1_%2").arg(iso, QString::fromLatin1(l->region)),
                      QStringLiteral("qtbase_%1").arg(iso)};
    if (const char* sibling = siblingOf(iso))
        files << QStringLiteral("qtbase_%1").arg(QString::fromLatin1(sibling));
    return files;
}

QString useQtTranslations(int languageCode, const QString& folder)
{
    if (QTranslator* old = installed()) {
        QCoreApplication::removeTranslator(old);
        delete old;
    }
    const QString from = folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : folder;
    for (const QString& file : qtTranslationFiles(languageCode)) {
        auto* translator = new QTranslator(QCoreApplication::instance());
        if (translator->load(file, from)) {
            QCoreApplication::installTranslator(translator);
            installed() = translator;
            // The loader may have dropped the country: say what was read.
            return translator->filePath();
        }
        delete translator;
    }
    return {};
}

} // namespace tvq52
