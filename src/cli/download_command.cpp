#include "cli/download_command.h"

#include "app/data_folder.h"
#include "cli/cli_session.h"
#include "cli/console_progress.h"
#include "cli/interrupt_watch.h"
#include "cli/records_console_view.h"
#include "core/date_text.h"
#include "core/own_words.h"
#include "evidence/journal.h"
#include "i18n/translator.h"
#include "link/exchange_session.h"
#include "records/download_workflow.h"
#include "records/fleet.h"
#include "records/outcome_text.h"

#include <QJsonArray>
#include <QTextStream>

namespace tvq52 {

namespace {

// The journal's word for how the download ended.
QString outcomeText(DownloadOutcome outcome)
{
    return journalOutcomeName(journalOutcome(outcome));
}

void printReport(const DownloadReport& r, const Translator& translator)
{
    QTextStream out(stdout);
    auto say = [&](const char* text) { return translator.translate(QString::fromUtf8(text)); };
    out << say("Número de serie:") << ' ' << r.serial << '\n' << say("Versión:") << ' ' << r.firmware << '\n';
    out << QStringLiteral("%1 %2 %3 %4 %5\n")
               .arg(say("tipo"), -19)
               .arg(say("recibidos"), 9)
               .arg(say("añadidos"), 7)
               .arg(say("reescritos"), 10)
               .arg(say("rechazados"), 8);
    for (int k = 0; k < kRecordKinds; ++k)
        out << QStringLiteral("%1 %2 %3 %4 %5\n")
                   .arg(recordKindName(k, translator), -19)
                   .arg(r.counts[k].received, 9)
                   .arg(r.counts[k].added, 7)
                   .arg(r.counts[k].rewritten, 10)
                   .arg(r.counts[k].refused, 8);
    out << say("Resultado:") << ' ' << journalOutcomeText(translator, outcomeText(r.outcome)) << '\n';
    if (r.journalEntry != 0)
        out << say("Entrada del diario:") << ' ' << r.journalEntry << '\n'
            << say("Cabeza del diario:") << ' ' << r.journalHead << '\n';
}

// --from or --to as the unit's request can carry it.
Result<std::optional<QDateTime>> rangeEnd(const CommandArgs& args, const char* option)
{
    const auto text = args.value(option);
    if (!text)
        return std::optional<QDateTime>();
    const auto when = parseDateTimeText(*text, qstrcmp(option, "--to") == 0 ? DateAlone::EndOfDay : DateAlone::StartOfDay);
    if (!when)
        return ownWords(QStringLiteral("No es una fecha y hora: %1"), {*text});
    if (!requestCarries(*when))
        return ownWords(QStringLiteral("La fecha %1 no se puede pedir al TVQ-52: solo admite años de %2 a %3."),
                        {text->trimmed(), QString::number(kFirstRequestYear), QString::number(kLastRequestYear)});
    return std::optional<QDateTime>(when);
}

} // namespace

const CommandSyntax& downloadSyntax()
{
    static const CommandSyntax syntax{
        "download",
        "download [--from WHEN] [--to WHEN] [--json] [--quiet]",
        {"Descarga en la base de datos los datos registrados de la unidad de la línea; por omisión desde su intervalo "
         "guardado más reciente hasta ahora.",
         "WHEN es \"dd/mm/yy hh:nn\", \"dd/mm/yyyy hh:nn\" o ISO 8601 (2026-12-01T22:00 o \"2026-12-01 22:00\").",
         "El progreso es una línea en un terminal y, si no, una línea de resumen; --quiet no muestra ninguno.",
         "Ctrl-C detiene la descarga como lo hace Parar en la ventana (estado de salida 130). Estado de salida 0 solo "
         "cuando la descarga se completó."},
        {QStringLiteral("--json"), QStringLiteral("--quiet")},
        {QStringLiteral("--from"), QStringLiteral("--to")}};
    return syntax;
}

std::unique_ptr<ExchangeSession> downloadSession(CliSession& session, const CliOptions& options)
{
    CliOptions o = options;
    if (!options.timeoutGiven)
        o.timeoutMs = kDownloadSilenceLimitMs;
    return session.openExchange(o);
}

QJsonObject downloadJson(const DownloadReport& r)
{
    QJsonObject counts;
    for (int k = 0; k < kRecordKinds; ++k)
        counts.insert(QString::fromLatin1(kRecordKindKeys[k]),
                      QJsonObject{{"received", r.counts[k].received},
                                  {"added", r.counts[k].added},
                                  {"rewritten", r.counts[k].rewritten},
                                  {"refused", r.counts[k].refused}});
    return QJsonObject{
        {"serial", jsonCount(r.serial)},
        {"firmware", r.firmware.isEmpty() ? QJsonValue() : QJsonValue(r.firmware)},
        {"counts", counts},
        {"outcome", outcomeText(r.outcome)},
        {"journalEntry", jsonCount(r.journalEntry)},
        {"journalHead", r.journalHead.isEmpty() ? QJsonValue() : QJsonValue(QString::fromLatin1(r.journalHead))}};
}

int runDownload(CliSession& session, const CliOptions& options, const CommandArgs& args)
{
    AppContext& ctx = *session.ctx;
    const auto from = rangeEnd(args, "--from");
    const auto to = rangeEnd(args, "--to");
    if (!from || !to)
        return refuseUsage(ctx.translator, (!from ? from : to).error(), downloadSyntax());
    if (*from && *to && **to <= **from)
        return refuseUsage(ctx.translator, ownWords(QStringLiteral("El final del intervalo no es posterior a su inicio")),
                           downloadSyntax());
    if (!openFolderDatabase(ctx, Operation::Download))
        return 1;
    const auto exchange = downloadSession(session, options);
    ConsoleProgress progress(args.has("--quiet"));
    ConsoleRecordsView view(kUnitOnTheLine, *from, *to, &progress, &ctx.translator);
    DownloadWorkflow workflow(*exchange, *session.prompter, ctx.translator, *ctx.db, view);
    workflow.overridePhone(ctx.lineSettings.PhoneNumber);
    const InterruptWatch watch([&] {
        progress.interrupt();
        workflow.stop();
    });
    const DownloadReport report = workflow.run();
    if (report.outcome == DownloadOutcome::Completed && report.serial > 0)
        (void)checkFleetJournal(*ctx.db, report.serial, report.journalEntry); // the overview's journal check
    progress.finish(view.summaryLine());
    if (args.has("--json"))
        printJson(downloadJson(report));
    else
        printReport(report, ctx.translator);
    if (watch.interrupted()) {
        printError(ctx.translator,
                   ownWords(watch.terminated()
                                ? QStringLiteral("Descarga detenida por la señal de terminación (SIGTERM): lo recibido "
                                                 "hasta ahora está guardado y la unidad conserva el resto.")
                                : QStringLiteral("Descarga detenida con Ctrl-C: lo recibido hasta ahora está "
                                                 "guardado y la unidad conserva el resto.")));
        return InterruptWatch::exitStatus();
    }
    // A journal whose head could not be read after it is a failure too.
    return report.outcome == DownloadOutcome::Completed && !report.error ? 0 : 1;
}

} // namespace tvq52
