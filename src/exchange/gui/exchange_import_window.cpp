#include "exchange/gui/exchange_import_window.h"

#include "core/prompter.h"
#include "exchange/gui/exchange_import_dialog.h"
#include "i18n/translator.h"

namespace tvq52 {

void openExchangeImport(Translator& guru, Prompter& prompter, Database* database, const QString& path,
                        bool requireSigned, QWidget* parent)
{
    if (!database) {
        prompter.show(guru.GetTranslation(QStringLiteral("No hay base de datos abierta.")), MessageStyle::Exclamation);
        return;
    }
    ExchangeImportDialog dialog(guru, prompter, *database, path, parent);
    dialog.requireSigned = requireSigned;
    dialog.exec();
}

} // namespace tvq52
