#include "exchange/gui/exchange_import_window.h"

#include "app/app_context.h"
#include "core/prompter.h"
#include "exchange/gui/exchange_import_dialog.h"

namespace tvq52 {

void openExchangeImport(AppContext& ctx, Prompter& prompter, const QString& path, QWidget* parent)
{
    if (!ctx.db) {
        prompter.show(ctx.guru.GetTranslation(QStringLiteral("No hay base de datos abierta.")),
                      MessageStyle::Exclamation);
        return;
    }
    ctx.SelectedFile = path;
    ExchangeImportDialog dialog(ctx, prompter, path, parent);
    dialog.exec();
    ctx.SelectedFile.clear();
}

} // namespace tvq52
