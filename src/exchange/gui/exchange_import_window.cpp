#include "exchange/gui/exchange_import_window.h"

#include "core/prompter.h"
#include "exchange/gui/exchange_import_dialog.h"
#include "i18n/translator.h"

namespace tvq52 {

void openExchangeImport(Translator& translator, Prompter& prompter, Database* database, const QString& path,
                        bool requireSigned, QWidget* parent)
{
    if (!database) {
        prompter.show(translator.translate(QStringLiteral("No hay base de datos abierta.")), MessageStyle::Exclamation);
        return;
    }
    ExchangeImportDialog dialog(translator, prompter, *database, path, parent);
    dialog.requireSigned = requireSigned;
    dialog.exec();
}

} // namespace tvq52
