#include "reports/graph_report.h"

#include "db/database.h"
#include "i18n/translator.h"
#include "reports/programming_report.h"
#include "reports/proof_footer.h"
#include "reports/stored_sources.h"

namespace tvq52 {

Result<RenderedReport> buildGraphReport(Database& db, const Translator& translator, const QString& templatePath,
                                        qint32 serial, const QString& firmware, const QImage& levels,
                                        const QImage& events, const QString& footer, const QDateTime& from,
                                        const QDateTime& to)
{
    auto loaded = loadWithProgrammingPart(db, translator, templatePath, QStringLiteral("TVQ52_4"), serial, firmware, footer);
    if (!loaded)
        return loaded.error();
    std::unique_ptr<Report> report = std::move(*loaded);
    // The pictures stay in memory: the program's folder is read-only.
    if (!report->setPicture(QStringLiteral("Pic3"), levels) || !report->setPicture(QStringLiteral("Pic2"), events))
        return reportError(ReportFailure::TemplateBroken, QStringLiteral("TVQ52_4: Pic2, Pic3"));
    report->setText(QStringLiteral("TGrafica"), translator.translate(QStringLiteral("Gráfica")));
    return renderWithProof(db, translator, *report, storedSources(db), {ReportKind::Graph, serial, from, to, {}});
}

} // namespace tvq52
