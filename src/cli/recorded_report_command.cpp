#include "cli/recorded_report_command.h"

#include "app/data_folder.h"
#include "app/settings.h"
#include "cli/cli_session.h"
#include "cli/download_command.h"
#include "core/catalogue_ids.h"
#include "core/own_words.h"
#include "i18n/catalogue_message.h"
#include "records/recorded_data.h"
#include "records/shown_unit.h"
#include "reports/csv_writer.h"
#include "reports/recorded_report.h"

#include <QFile>
#include <QTextStream>

namespace tvq52 {

namespace {

constexpr int kNoData = 59;

struct ReportArgs {
    QString kind;
    qint32 serial = 0;
    std::optional<QDateTime> from, to;
    QString pdf;
};

// KIND SERIAL then --from, --to and (for reports) --pdf in any order.
Result<ReportArgs> parseArgs(const QStringList& args, bool withPdf)
{
    ReportArgs r;
    if (args.size() < 2)
        return finalText(QStringLiteral("missing kind or serial number"));
    r.kind = args[0];
    bool ok = false;
    r.serial = args[1].toInt(&ok);
    if (!ok || r.serial <= 0)
        return finalText(QStringLiteral("not a serial number: ") + args[1]);
    for (int k = 2; k < args.size(); k += 2) {
        const QString& name = args[k];
        if (k + 1 >= args.size())
            return finalText(QStringLiteral("no value after ") + name);
        const QString& value = args[k + 1];
        if (name == QLatin1String("--pdf") && withPdf) {
            r.pdf = value;
            continue;
        }
        if (name != QLatin1String("--from") && name != QLatin1String("--to"))
            return finalText(QStringLiteral("unknown option ") + name);
        const auto when = parseRangeStamp(value);
        if (!when)
            return finalText(QStringLiteral("not a date and time: ") + value);
        // The unit's stamps are wall-clock readings, held as UTC.
        (name == QLatin1String("--from") ? r.from : r.to) = wallClock(when->date(), when->time());
    }
    return r;
}

} // namespace

int runRecordedReport(CliSession& session, const CliOptions& options)
{
    QTextStream err(stderr);
    const char* usage =
        "tvq52-cli: usage: report intervals|sessions|exceedances SERIAL --from \"dd/mm/yy hh:nn\" "
        "--to \"dd/mm/yy hh:nn\" --pdf FILE";
    const auto args = parseArgs(options.command.mid(1), true);
    if (!args || !args->from || !args->to || args->pdf.isEmpty()) {
        err << "tvq52-cli: "
            << (args ? QStringLiteral("--from, --to and --pdf are needed") : untranslatedText(args.error())) << '\n'
            << usage << Qt::endl;
        return 2;
    }
    RecordedReportRequest request;
    if (args->kind == QLatin1String("intervals"))
        request.kind = RecordedReportKind::Intervals;
    else if (args->kind == QLatin1String("sessions"))
        request.kind = RecordedReportKind::Sessions;
    else if (args->kind == QLatin1String("exceedances"))
        request.kind = RecordedReportKind::Exceedances;
    else {
        err << usage << Qt::endl;
        return 2;
    }
    AppContext& ctx = *session.ctx;
    if (!openFolderDatabase(ctx))
        return 1;
    request.serial = args->serial;
    request.from = *args->from;
    request.to = *args->to;
    request.footer = reportFooterText(ctx);
    request.assetFolder = findAssetFolder();
    const RecordedReportResult result = buildRecordedReport(*ctx.db, ctx.guru, request);
    if (!result) {
        showError(*session.prompter, ctx.guru, result.error());
        return 1;
    }
    if (!result->has_value()) {
        showCatalogue(*session.prompter, ctx.guru, kNoData, MessageStyle::Critical);
        return 1;
    }
    if (const Status written = (*result)->writePdf(args->pdf, recordedReportName(request.kind)); !written) {
        showError(*session.prompter, ctx.guru, written.error());
        return 1;
    }
    QTextStream(stdout) << args->pdf << Qt::endl;
    return 0;
}

int runCsv(CliSession& session, const CliOptions& options)
{
    QTextStream err(stderr);
    const char* usage =
        "tvq52-cli: usage: csv intervals|sessions SERIAL [--from \"dd/mm/yy hh:nn\"] "
        "[--to \"dd/mm/yy hh:nn\"]";
    const auto args = parseArgs(options.command.mid(1), false);
    if (!args || (args->kind != QLatin1String("intervals") && args->kind != QLatin1String("sessions"))) {
        err << "tvq52-cli: " << (args ? QString() : untranslatedText(args.error())) << '\n' << usage << Qt::endl;
        return 2;
    }
    AppContext& ctx = *session.ctx;
    if (!openFolderDatabase(ctx))
        return 1;
    const RecordGrid kind = args->kind == QLatin1String("intervals") ? RecordGrid::Intervals : RecordGrid::Sessions;
    RecordGridModel grid(*ctx.db, kind, ctx.guru);
    if (const Status loaded = grid.load(args->serial); !loaded) {
        err << "tvq52-cli: " << loaded.error().detail << Qt::endl;
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
    const bool ok = writeGridCsv(out, grid, ctx.guru, shownGridColumns(kind, unit ? unit->firmware : QString()), range);
    // A full disk under a redirection shows only when the buffer goes out.
    if (!out.flush() || !ok) {
        session.prompter->show(
            ctx.guru.GetTranslation(QStringLiteral("No se pudo escribir la salida: %1")).arg(out.errorString()),
            MessageStyle::Critical);
        return 1;
    }
    return 0;
}

} // namespace tvq52
