#include "reports/gui/graph_report_print.h"

#include "app/app_context.h"
#include "app/data_folder.h"
#include "app/settings.h"
#include "i18n/catalogue_message.h"
#include "records/shown_unit.h"
#include "reports/graph_report.h"
#include "reports/gui/graph_window.h"
#include "reports/gui/report_preview.h"

#include <QApplication>

namespace tvq52 {

void printGraphReport(AppContext& ctx, Prompter& prompter, GraphWindow& window, const ShownUnit& unit)
{
    if (!ctx.db || unit.serial == 0)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    auto built = buildGraphReport(*ctx.db, ctx.guru,
                                  reportTemplatePath(findAssetFolder(), QStringLiteral("tvq52_4.xml")), unit.serial,
                                  unit.firmware, window.levelPicture(), window.eventPicture(), reportFooterText(ctx));
    QApplication::restoreOverrideCursor();
    if (!built) {
        showError(prompter, ctx.guru, built.error());
        return;
    }
    previewReport(*built, prompter, ctx.guru, &window);
}

} // namespace tvq52
