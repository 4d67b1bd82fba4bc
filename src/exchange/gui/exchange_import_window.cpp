#include "exchange/gui/exchange_import_window.h"

#include "app/app_context.h"
#include "core/prompter.h"

namespace tvq52 {

// Interim: the window itself follows in the next commits.
void openExchangeImport(AppContext& ctx, Prompter& prompter, const QString& path, QWidget* parent)
{
    Q_UNUSED(ctx);
    Q_UNUSED(parent);
    prompter.show(path, MessageStyle::Exclamation);
}

} // namespace tvq52
