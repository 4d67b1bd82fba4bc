#include "reports/graph_report.h"

#include "db/database.h"
#include "db/journal.h"
#include "i18n/loc_guru.h"
#include "reports/programming_report.h"

namespace tvq52 {

std::variant<RenderedReport, ReportError> buildGraphReport(Database& db, const LocGuru& guru,
                                                           const QString& templatePath, qint32 serial,
                                                           const QString& firmware, const QImage& levels,
                                                           const QImage& events, const QString& footer)
{
    auto loaded = loadWithProgrammingPart(db, guru, templatePath, QStringLiteral("TVQ52_4"), serial, firmware, footer);
    if (auto* e = std::get_if<ReportError>(&loaded))
        return *e;
    auto report = std::move(std::get<std::unique_ptr<Report>>(loaded));
    // The pictures stay in memory: the program's folder is read-only.
    if (!report->setPicture(QStringLiteral("Pic3"), levels) || !report->setPicture(QStringLiteral("Pic2"), events))
        return ReportError{ReportError::TemplateBroken, QStringLiteral("TVQ52_4: Pic2, Pic3")};
    report->setText(QStringLiteral("TGrafica"), guru.GetTranslation(QStringLiteral("Gráfica")));
    report->setText(QStringLiteral("TCadena"), guru.GetTranslation(QStringLiteral("Cabeza de la cadena:")));
    const QByteArray head = Journal(db).head();
    report->setText(QStringLiteral("Cadena"), head.isEmpty() ? QStringLiteral("---") : QString::fromLatin1(head));
    return report->render(db.connection());
}

} // namespace tvq52
