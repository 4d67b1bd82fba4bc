#include "reports/gui/graph_report_print.h"

#include "i18n/catalogue_message.h"
#include "i18n/translator.h"
#include "records/shown_unit.h"
#include "reports/graph_report.h"
#include "reports/gui/graph_window.h"
#include "reports/gui/report_preview.h"

#include <QApplication>

namespace tvq52 {

void printGraphReport(const GraphReportNeeds& needs, GraphWindow& window, const ShownUnit& unit)
{
    if (!needs.database || unit.serial == 0)
        return;
    const auto range = window.shownRange();
    if (!range) {
        showCatalogue(needs.prompter, needs.translator, 59, MessageStyle::Critical); // no data to print
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    auto built = buildGraphReport(*needs.database, needs.translator,
                                  reportTemplatePath(needs.assetFolder, QStringLiteral("tvq52_4.xml")), unit.serial,
                                  unit.firmware, window.levelPicture(), window.eventPicture(), needs.footerText,
                                  range->first, range->second);
    QApplication::restoreOverrideCursor();
    if (!built) {
        showError(needs.prompter, needs.translator, built.error());
        return;
    }
    previewReport(*built, needs.prompter, needs.translator, &window, QStringLiteral("%1_graficos").arg(unit.serial));
}

} // namespace tvq52
