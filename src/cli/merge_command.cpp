#include "cli/merge_command.h"

#include "cli/cli_session.h"
#include "cli/interrupt_watch.h"
#include "core/own_words.h"
#include "exchange/database_merge_workflow.h"

#include <QJsonArray>
#include <QTextStream>

namespace tvq52 {

namespace {

QJsonObject mergeJson(const QString& source, const MergeResult& result, const QString& problem)
{
    QJsonArray tables;
    for (const MergeTableCount& t : result.tables)
        tables.append(QJsonObject{{"table", t.table},
                                  {"read", t.read},
                                  {"added", t.added},
                                  {"present", t.present},
                                  {"refused", t.refused},
                                  {"leftOut", QJsonArray::fromStringList(t.leftOut)},
                                  {"error", t.error.isEmpty() ? QJsonValue() : QJsonValue(t.error)}});
    return QJsonObject{
        {"file", source},
        {"complete", result.complete()},
        {"error", problem.isEmpty() ? QJsonValue() : QJsonValue(problem)},
        {"tables", tables},
        {"added", result.added()},
        {"journalHead",
         result.journalHead.isEmpty() ? QJsonValue() : QJsonValue(QString::fromLatin1(result.journalHead))}};
}

} // namespace

const CommandSyntax& mergeSyntax()
{
    static const CommandSyntax syntax{
        "merge",
        "merge FILE.db [--json]",
        {"Añade los registros de otra base de datos de este programa que le faltan a esta (nunca su configuración); "
         "escribe las filas por tabla;",
         "estado de salida 1 cuando el archivo no es una base de datos así o no se pudo leer o guardar una tabla.",
         "Ctrl-C la detiene como lo hace Parar en la ventana: lo ya guardado se queda (estado de salida 130)."},
        {QStringLiteral("--json")},
        {},
        1,
        1};
    return syntax;
}

int runMerge(CliSession& session, const CliOptions&, const CommandArgs& args)
{
    AppContext& ctx = *session.ctx;
    if (!openFolderDatabase(ctx, Operation::Merge))
        return 1;
    const QString source = args.arguments.at(0);
    // Ctrl-C or SIGTERM stops it as the window's Stop does: the table under
    // way is rolled back, the ones before it stay.
    const InterruptWatch watch([] {});
    const MergeResult result = mergeDatabase(*ctx.db, source, {}, [&watch] { return watch.interrupted(); });
    const QString text = mergeSummaryText(ctx.translator, source, result);
    // A merge that did not finish is an error, its counts told with it; a
    // finished one's counts go to standard output.
    const bool refused = !result.complete();
    if (refused)
        printError(ctx.translator, finalText(text));
    if (args.has("--json"))
        printJson(mergeJson(source, result, refused ? text : QString()));
    else if (!refused)
        QTextStream(stdout) << text << Qt::endl;
    if (result.stopped() && !result.failure.failed())
        return InterruptWatch::exitStatus();
    return result.complete() ? 0 : 1;
}

} // namespace tvq52
