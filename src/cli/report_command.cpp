#include "cli/report_command.h"

#include "app/data_folder.h"
#include "app/settings.h"
#include "cli/cli_session.h"
#include "cli/recorded_report_command.h"
#include "core/own_words.h"
#include "db/database.h"
#include "i18n/catalogue_message.h"
#include "reports/programming_report.h"
#include "reports/recorded_report.h"
#include "evidence/signed_pdf.h"

#include <QTextStream>

namespace tvq52 {

namespace {

std::optional<Error> reportFault(const CommandArgs& args)
{
    if (args.arguments.at(0) != QLatin1String("programming"))
        return recordedReportFault(args);
    if (!serialArgument(args.arguments.at(1)))
        return ownWords(QStringLiteral("No es un número de serie: %1"), {args.arguments.at(1)});
    if (!args.value("--pdf") || args.value("--from") || args.value("--to"))
        return ownWords(QStringLiteral("El informe de programación solo admite --pdf, que es obligatorio"));
    return std::nullopt;
}

} // namespace

const CommandSyntax& reportSyntax()
{
    static const CommandSyntax syntax{
        "report",
        "report programming SERIAL --pdf FILE\n"
        "report intervals|sessions|exceedances SERIAL --from WHEN --to WHEN --pdf FILE",
        {"Escribe en un PDF el informe de programación de una unidad guardada, o el informe de la ventana de informes "
         "de los registros que empiezan en el intervalo.",
         "WHEN es \"dd/mm/yy hh:nn\", \"dd/mm/yyyy hh:nn\" o ISO 8601: una fecha sola (una fecha de --to abarca su día "
         "entero), minutos o segundos, y Z o un desfase (+01:00), pasado a la hora local de este PC "
         "(2026-12-01T22:00)."},
        {},
        {QStringLiteral("--pdf"), QStringLiteral("--from"), QStringLiteral("--to")},
        2,
        2,
        reportFault};
    return syntax;
}

int runReport(CliSession& session, const CliOptions&, const CommandArgs& args)
{
    AppContext& ctx = *session.ctx;
    if (args.arguments.at(0) != QLatin1String("programming"))
        return runRecordedReport(session, args);
    const auto serial = serialArgument(args.arguments.at(1));
    const auto pdf = args.value("--pdf");
    if (!serial || !pdf || args.value("--from") || args.value("--to"))
        return refuseUsage(ctx.translator,
                           !serial ? ownWords(QStringLiteral("No es un número de serie: %1"), {args.arguments.at(1)})
                                   : ownWords(QStringLiteral("El informe de programación solo admite --pdf, que es "
                                                             "obligatorio")),
                           reportSyntax());
    if (!openFolderDatabaseToRead(ctx) || !requireStoredUnit(ctx, *serial))
        return 1;
    const QString path = reportTemplatePath(findAssetFolder(), QStringLiteral("tvq52_1.xml"));
    auto built = buildProgrammingReport(*ctx.db, ctx.translator, path, *serial, QString(), reportFooterText(ctx));
    if (!built) {
        showError(*session.prompter, ctx.translator, built.error());
        return 1;
    }
    if (const Status written = built->writePdf(*pdf, reportDocumentTitle(ctx.translator, QStringLiteral("Programación"), *serial)); !written) {
        showError(*session.prompter, ctx.translator, written.error());
        return 1;
    }
    warnOfPdfSigning(*session.prompter, ctx.translator);
    QTextStream(stdout) << *pdf << Qt::endl;
    return 0;
}

} // namespace tvq52
