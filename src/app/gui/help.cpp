#include "app/gui/help.h"

#include "app/app_context.h"
#include "app/data_folder.h"
#include "app/language_table.h"
#include "core/prompter.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace tvq52 {

void openHelp(const AppContext& ctx, Prompter& prompter)
{
    const QString page = QDir(helpFolder(findAssetFolder())).filePath(helpFileName(ctx.LanguageCodeValue));
    if (!QFileInfo(page).isFile()) {
        prompter.show(
            QStringLiteral("%1: %2").arg(ctx.guru.GetTranslation(QStringLiteral("No se encuentra la ayuda")), page),
            MessageStyle::Exclamation);
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(page)))
        prompter.show(
            QStringLiteral("%1: %2").arg(ctx.guru.GetTranslation(QStringLiteral("No se puede abrir la ayuda")), page),
            MessageStyle::Exclamation);
}

} // namespace tvq52
