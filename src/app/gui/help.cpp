#include "app/gui/help.h"

#include "app/app_context.h"
#include "app/data_folder.h"
#include "app/gui/help_window.h"
#include "app/language_table.h"
#include "core/prompter.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>

namespace tvq52 {

void openHelp(const AppContext& ctx, Prompter& prompter, const QString& topic)
{
    const QString page = QDir(helpFolder(findAssetFolder())).filePath(helpPage(ctx.LanguageCodeValue, topic));
    if (!QFileInfo(page).isFile()) {
        prompter.show(
            QStringLiteral("%1: %2").arg(ctx.translator.translate(QStringLiteral("No se encuentra la ayuda")), page),
            MessageStyle::Exclamation);
        return;
    }
    // One help window for the run: a second F1 turns its page.
    static QPointer<HelpWindow> window;
    if (!window)
        window = new HelpWindow(ctx.translator);
    window->showPage(page);
}

} // namespace tvq52
