#include "i18n/gui/export_all_strings.h"

#include "core/own_words.h"
#include "core/prompter.h"
#include "i18n/gui/form_registry.h"
#include "i18n/language_setup.h"
#include "i18n/translator.h"

#include <QApplication>
#include <QDir>

namespace tvq52 {

bool ExportAllStrings(Translator& translator, const FormRegistry& forms, const QString& programFolder, Prompter& prompter)
{
    const QString previous = translator.languageDatabase();
    const QString target = QDir(programFolder).filePath(QStringLiteral("Language.db"));
    QApplication::setOverrideCursor(Qt::WaitCursor);
    translator.setPrompter(&prompter);

    // Opened for writing, the engine translates nothing, so the windows built
    // here keep their native texts.
    Status written = translator.openLanguageDatabase(target, false, Translator::SqlDb);
    if (written)
        written = translator.exportStrings();
    for (const QString& name : exportFormOrder()) {
        if (!written)
            break;
        std::unique_ptr<QWidget> form = forms.create(name);
        if (!form)
            continue;
        form->show();
        written = translator.exportFormStrings(form.get());
    }
    translator.closeLanguageDatabase();
    if (!previous.isEmpty())
        (void)translator.openLanguageDatabase(previous, true, languageDatabaseKind(previous));
    translator.setPrompter(nullptr);
    QApplication::restoreOverrideCursor();

    if (!written)
        prompter.message(Message{QStringLiteral("While exporting to Language Database (") + target
                                     + QStringLiteral(") the following error occurred:\r\r")
                                     + untranslatedText(written.error()),
                                 {},
                                 MessageStyle::Exclamation,
                                 0,
                                 {}});
    return written.ok();
}

} // namespace tvq52
