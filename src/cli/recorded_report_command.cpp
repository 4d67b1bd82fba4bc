#include "cli/recorded_report_command.h"

#include "app/data_folder.h"
#include "app/settings.h"
#include "cli/cli_session.h"
#include "cli/grid_output.h"
#include "cli/report_command.h"
#include "core/catalogue_ids.h"
#include "core/date_text.h"
#include "core/own_words.h"
#include "evidence/signed_pdf.h"
#include "i18n/catalogue_message.h"
#include "records/csv_writer.h"
#include "records/recorded_data.h"
#include "records/shown_unit.h"
#include "reports/recorded_report.h"

#include <QFile>
#include <QJsonDocument>
#include <QTextStream>

namespace tvq52 {

namespace {

constexpr int kNoData = 59;

struct ReportArgs {
    QString kind;
    qint32 serial = 0;
    std::optional<QDateTime> from, to;
};

// KIND SERIAL and the range, each end as the unit's wall clock.
Result<ReportArgs> rangeArgs(const CommandArgs& args)
{
    ReportArgs r;
    r.kind = args.arguments.at(0);
    const auto serial = serialArgument(args.arguments.at(1));
    if (!serial)
        return ownWords(QStringLiteral("No es un número de serie: %1"), {args.arguments.at(1)});
    r.serial = *serial;
    for (const char* option : {"--from", "--to"}) {
        const auto when = whenOption(args, option);
        if (!when)
            return when.error();
        // The unit's stamps are wall-clock readings, held as UTC.
        if (*when)
            (qstrcmp(option, "--from") == 0 ? r.from : r.to) = wallClock((*when)->date(), (*when)->time());
    }
    if (r.from && r.to && *r.to <= *r.from)
        return ownWords(QStringLiteral("El final del intervalo no es posterior a su inicio"));
    return r;
}

} // namespace

std::optional<Error> recordedReportFault(const CommandArgs& words)
{
    const auto args = rangeArgs(words);
    if (!args)
        return args.error();
    if (!args->from || !args->to || !words.value("--pdf"))
        return ownWords(QStringLiteral("Se necesitan --from, --to y --pdf"));
    if (!QStringList{"intervals", "sessions", "exceedances"}.contains(args->kind))
        return ownWords(QStringLiteral("Tipo de informe desconocido: %1"), {args->kind});
    return std::nullopt;
}

namespace {

std::optional<Error> csvFault(const CommandArgs& words)
{
    const auto args = rangeArgs(words);
    if (!args)
        return args.error();
    if (args->kind != QLatin1String("intervals") && args->kind != QLatin1String("sessions"))
        return ownWords(QStringLiteral("Tipo de tabla desconocido: %1"), {args->kind});
    if (words.has("--machine") && words.has("--json"))
        return ownWords(QStringLiteral("--machine y --json no van juntas"));
    return std::nullopt;
}

} // namespace

int runRecordedReport(CliSession& session, const CommandArgs& words)
{
    AppContext& ctx = *session.ctx;
    const auto args = rangeArgs(words);
    if (!args)
        return refuseUsage(ctx.translator, args.error(), reportSyntax());
    if (!args->from || !args->to || !words.value("--pdf"))
        return refuseUsage(ctx.translator, ownWords(QStringLiteral("Se necesitan --from, --to y --pdf")), reportSyntax());
    const QString pdf = *words.value("--pdf");
    RecordedReportRequest request;
    if (args->kind == QLatin1String("intervals"))
        request.kind = RecordedReportKind::Intervals;
    else if (args->kind == QLatin1String("sessions"))
        request.kind = RecordedReportKind::Sessions;
    else if (args->kind == QLatin1String("exceedances"))
        request.kind = RecordedReportKind::Exceedances;
    else
        return refuseUsage(ctx.translator, ownWords(QStringLiteral("Tipo de informe desconocido: %1"), {args->kind}),
                           reportSyntax());
    if (!openFolderDatabaseToRead(ctx) || !requireStoredUnit(ctx, args->serial))
        return 1;
    request.serial = args->serial;
    request.from = *args->from;
    request.to = *args->to;
    request.footer = reportFooterText(ctx);
    request.assetFolder = findAssetFolder();
    const RecordedReportResult result = buildRecordedReport(*ctx.db, ctx.translator, request);
    if (!result) {
        showError(*session.prompter, ctx.translator, result.error());
        return 1;
    }
    if (!result->has_value()) {
        showCatalogue(*session.prompter, ctx.translator, kNoData, MessageStyle::Critical);
        return 1;
    }
    if (const Status written = (*result)->writePdf(pdf, reportDocumentTitle(ctx.translator, recordedReportTitle(request.kind), request.serial)); !written) {
        showError(*session.prompter, ctx.translator, written.error());
        return 1;
    }
    warnOfPdfSigning(*session.prompter, ctx.translator);
    QTextStream(stdout) << pdf << Qt::endl;
    return 0;
}

const CommandSyntax& csvSyntax()
{
    static const CommandSyntax syntax{
        "csv",
        "csv intervals|sessions SERIAL [--from WHEN] [--to WHEN] [--machine | --json]",
        {"Escribe la tabla de la unidad en la salida estándar como la exportan las ventanas para una hoja de cálculo "
         "(UTF-8 con marca de orden de bytes, \";\" entre campos).",
         "--machine la escribe para programas: \",\" entre campos, una cabecera por columna con el nombre de la "
         "columna guardada, valores guardados, fechas ISO 8601; --json lo mismo como un documento JSON.",
         "WHEN es \"dd/mm/yy hh:nn\" o ISO 8601 (una fecha sola, minutos o segundos, Z o un desfase: pasado a la hora "
         "local de este PC)."},
        {QStringLiteral("--machine"), QStringLiteral("--json")},
        {QStringLiteral("--from"), QStringLiteral("--to")},
        2,
        2,
        csvFault};
    return syntax;
}

int runCsv(CliSession& session, const CliOptions&, const CommandArgs& words)
{
    AppContext& ctx = *session.ctx;
    const auto args = rangeArgs(words);
    if (!args)
        return refuseUsage(ctx.translator, args.error(), csvSyntax());
    if (!openFolderDatabaseToRead(ctx) || !requireStoredUnit(ctx, args->serial))
        return 1;
    const RecordGrid kind = args->kind == QLatin1String("intervals") ? RecordGrid::Intervals : RecordGrid::Sessions;
    RecordGridModel grid(*ctx.db, kind, ctx.translator);
    if (const Status loaded = grid.load(args->serial); !loaded) {
        printError(ctx.translator, loaded.error());
        return 1;
    }
    const auto unit = loadShownUnit(*ctx.db, args->serial);
    std::optional<StartRange> range;
    if (args->from || args->to) {
        range = StartRange{args->from.value_or(QDateTime(QDate(1900, 1, 1), QTime(0, 0), Qt::UTC)),
                           args->to.value_or(QDateTime(QDate(9999, 12, 31), QTime(23, 59), Qt::UTC))};
    }
    QFile out;
    if (!out.open(stdout, QIODevice::WriteOnly))
        return 1;
    const QList<int> columns = shownGridColumns(kind, unit ? unit->firmware : QString());
    bool ok = true;
    if (words.has("--json"))
        ok = out.write(QJsonDocument(gridJson(grid, args->serial, columns, range)).toJson()) >= 0;
    else if (words.has("--machine"))
        ok = writeMachineCsv(out, grid, columns, range);
    else
        ok = writeGridCsv(out, grid, ctx.translator, columns, range).ok();
    // A full disk under a redirection shows only when the buffer goes out.
    if (!out.flush() || !ok) {
        session.prompter->show(
            ctx.translator.translate(QStringLiteral("No se pudo escribir la salida: %1")).arg(out.errorString()),
            MessageStyle::Critical);
        return 1;
    }
    return 0;
}

} // namespace tvq52
