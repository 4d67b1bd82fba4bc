#include "reports/report.h"

namespace tvq52 {

Error reportError(ReportFailure kind, const QString& detail)
{
    Error error{int(kind), detail};
    switch (kind) {
    case ReportFailure::TemplateMissing:
        error.text = QStringLiteral("No se encuentra la plantilla del informe:");
        break;
    case ReportFailure::TemplateBroken:
        error.text = QStringLiteral("La plantilla del informe no es válida:");
        break;
    case ReportFailure::Database:
        error.text = QStringLiteral("No se pudieron leer los datos del informe:");
        break;
    case ReportFailure::Script:
        error.text = QStringLiteral("El guion de formato del informe no es válido:");
        break;
    case ReportFailure::Output:
        error.text = QStringLiteral("No se pudo guardar el informe:");
        break;
    }
    return error;
}

void ReportSources::add(const QString& name, ReportSource source)
{
    addStreamed(name, [source = std::move(source)](const ReportParameters& parameters, const RowTaker& take) {
        Result<ReportRows> rows = source(parameters);
        if (!rows)
            return Status(rows.error());
        for (ReportRow& row : *rows)
            if (Status taken = take(row); !taken)
                return taken;
        return Status();
    });
}

Status ReportSources::read(const QString& name, const ReportParameters& parameters, const RowTaker& take) const
{
    const auto found = sources_.constFind(name);
    if (found == sources_.constEnd())
        return reportError(ReportFailure::TemplateBroken, QStringLiteral("no record source \"%1\"").arg(name));
    return (*found)(parameters, take);
}

} // namespace tvq52
