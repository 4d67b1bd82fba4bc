#include "cli/exchange_command.h"

#include "app/signing_settings.h"
#include "cli/cli_session.h"
#include "cli/console_progress.h"
#include "cli/interrupt_watch.h"
#include "core/own_words.h"
#include "db/store.h"
#include "exchange/exchange_import.h"
#include "exchange/exchange_writer.h"
#include "records/record_store.h"

#include <QJsonArray>
#include <QTextStream>

namespace tvq52 {

namespace {

QJsonObject importJson(const QString& file, const ImportSummary& s, const QStringList& problems)
{
    QJsonArray tables;
    for (const TableImport& t : s.tables)
        tables.append(QJsonObject{{"table", t.table},
                                  {"added", t.added},
                                  {"present", t.present},
                                  {"differs", t.differs},
                                  {"refused", t.refused}});
    return QJsonObject{
        {"file", file},
        {"succeeded", s.succeeded()},
        {"errors", QJsonArray::fromStringList(problems)},
        {"tables", tables},
        {"ignoredLines", s.ignoredLines},
        {"ignoredSections", QJsonArray::fromStringList(s.ignoredSections)},
        {"journalEntry", jsonCount(s.journalEntry)},
        {"provenance", verdictJson(s.verdict)},
        {"journalHead", s.journalHead.isEmpty() ? QJsonValue() : QJsonValue(QString::fromLatin1(s.journalHead))}};
}

} // namespace

const CommandSyntax& importSyntax()
{
    static const CommandSyntax syntax{
        "import",
        "import FILE.TQ52 [--json] [--quiet] [--accept-unsigned]",
        {"Añade los registros del archivo de intercambio que le faltan a la base de datos; escribe un resumen y quién "
         "firmó el archivo;",
         "estado de salida 1 cuando el archivo no se puede leer o guardar entero, cuando ya no coincide con el resumen "
         "que declara su procedencia, o cuando se cambió después de firmarlo (entonces no se guarda nada).",
         "Con RequireSignedImports activado, un archivo no firmado por una oficina de confianza se rechaza salvo que "
         "se dé --accept-unsigned.",
         "Ctrl-C la detiene como lo hace Parar en la ventana: lo ya guardado se queda (estado de salida 130)."},
        {QStringLiteral("--json"), QStringLiteral("--quiet"), QStringLiteral("--accept-unsigned")},
        {},
        1,
        1};
    return syntax;
}

int runImport(CliSession& session, const CliOptions&, const CommandArgs& args)
{
    AppContext& ctx = *session.ctx;
    const QString file = args.arguments.at(0);
    if (!openFolderDatabase(ctx, Operation::Import))
        return 1;
    ConsoleProgress progress(args.has("--quiet"));
    ExchangeImporter importer(*ctx.db);
    importer.translator = &ctx.translator;
    importer.requireSigned = requireSignedImports(ctx.home);
    const bool acceptUnsigned = args.has("--accept-unsigned");
    importer.acceptUnsigned = [acceptUnsigned](const ProvenanceVerdict&) { return acceptUnsigned; };
    ImportProgress last;
    importer.onProgress = [&](const ImportProgress& p) {
        last = p;
        progress.update(progressText(p, ctx.translator));
    };
    // Ctrl-C or SIGTERM stops it as the window's Stop does, keeping the
    // batches already committed.
    const InterruptWatch watch([] {});
    importer.cancelRequested = [&watch] { return watch.interrupted(); };
    const ImportSummary summary = importer.run(file);
    // The run ends on the whole file's counts, not on its last table's.
    progress.finish(progressTotalText(last, ctx.translator));
    QStringList lines = summaryLines(summary, ctx.translator);
    // What stopped the import goes to standard error; the counts to standard output.
    const bool nothingRead = summary.notAFile || !summary.opened || summary.notExchange || !summary.refusal.isEmpty();
    QStringList problems;
    if (nothingRead || summary.failure.failed())
        problems << (nothingRead ? lines : lines.mid(0, 1));
    lines = lines.mid(int(problems.size()));
    // A file changed on the way is told as a failure, though its rows are stored.
    const QString where = verdictLine(summary.verdict, summary.provenance, &ctx.translator);
    if (!where.isEmpty() && !summary.verdict.intact() && !nothingRead) {
        lines.removeAll(where);
        problems << where;
    }
    // A stop is told on standard error too: the counts that follow are all that was kept.
    const QString cancelled = ctx.translator.translate(QStringLiteral("Importación cancelada; solo se guardó lo siguiente."));
    if (summary.cancelled && lines.removeAll(cancelled) > 0)
        problems << cancelled;
    for (const QString& problem : problems)
        printError(ctx.translator, finalText(problem));
    if (args.has("--json")) {
        printJson(importJson(file, summary, problems));
    } else {
        QTextStream out(stdout);
        for (const QString& line : lines)
            out << line << '\n';
    }
    if (summary.cancelled && watch.interrupted())
        return InterruptWatch::exitStatus();
    return summary.succeeded() ? 0 : 1;
}

const CommandSyntax& exportSyntax()
{
    static const CommandSyntax syntax{
        "export",
        "export FILE.TQ52 SERIAL... [--json]",
        {"Escribe los registros guardados de las unidades como archivo de intercambio; un número de serie sin nada "
         "guardado se rechaza y no se escribe ningún archivo."},
        {QStringLiteral("--json")},
        {},
        2,
        -1};
    return syntax;
}

int runExport(CliSession& session, const CliOptions&, const CommandArgs& args)
{
    AppContext& ctx = *session.ctx;
    const QString file = args.arguments.at(0);
    QList<qint32> serials;
    for (const QString& text : args.arguments.mid(1)) {
        const auto serial = serialArgument(text);
        if (!serial)
            return refuseUsage(ctx.translator, ownWords(QStringLiteral("No es un número de serie: %1"), {text}),
                               exportSyntax());
        serials << *serial;
    }
    if (!openFolderDatabase(ctx))
        return 1;
    for (const qint32 serial : serials)
        if (!unitStored(*ctx.db, serial)) {
            printError(ctx.translator,
                       ownWords(QStringLiteral("No hay nada guardado de la unidad %1; no se ha escrito %2"),
                                {QString::number(serial), file}));
            return 1;
        }
    ExchangeSigning signing;
    const Result<qint64> rows = writeExchangeFile(*ctx.db, file, serials, &signing);
    if (signing.warning)
        printError(ctx.translator, *signing.warning);
    if (!rows) {
        printError(ctx.translator, rows.error().catalogueId == kOwnWords
                                 ? rows.error()
                                 : ownWords(QStringLiteral("No se pudo escribir el archivo %1"), {file},
                                            rows.error().detail));
        return 1;
    }
    if (args.has("--json")) {
        QJsonArray units;
        for (const qint32 serial : serials)
            units.append(serial);
        printJson(QJsonObject{
            {"file", file},
            {"serials", units},
            {"rows", *rows},
            {"signer",
             signing.signer.isNull() ? QJsonValue() : QJsonValue(QString::fromLatin1(signing.signer.fingerprint))}});
    } else {
        QTextStream(stdout) << ctx.translator.translate(QStringLiteral("%1 filas escritas en %2")).arg(*rows).arg(file)
                            << Qt::endl;
    }
    return 0;
}

} // namespace tvq52
