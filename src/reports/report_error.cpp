#include "core/prompter.h"
#include "i18n/loc_guru.h"
#include "reports/report.h"

namespace tvq52 {

void showReportError(Prompter& prompter, const LocGuru& guru, const ReportError& error)
{
    QString text;
    switch (error.kind) {
    case ReportError::TemplateMissing:
        text = guru.GetTranslation(QStringLiteral("No se encuentra la plantilla del informe:"));
        break;
    case ReportError::TemplateBroken:
        text = guru.GetTranslation(QStringLiteral("La plantilla del informe no es válida:"));
        break;
    case ReportError::Database:
        text = guru.GetTranslation(QStringLiteral("No se pudieron leer los datos del informe:"));
        break;
    case ReportError::Script:
        text = guru.GetTranslation(QStringLiteral("El guion de formato del informe no es válido:"));
        break;
    case ReportError::Output:
        text = guru.GetTranslation(QStringLiteral("No se pudo guardar el informe:"));
        break;
    }
    prompter.message(Message{text + QStringLiteral("\n\n") + error.detail, {}, MessageStyle::Critical, 0, {}});
}

} // namespace tvq52
