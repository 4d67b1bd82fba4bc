#include "exchange/database_merge_workflow.h"

#include "core/catalogue_ids.h"
#include "core/prompter.h"
#include "core/regular_file.h"
#include "exchange/exchange_format.h"
#include "exchange/exchange_import.h"
#include "i18n/catalogue_message.h"
#include "i18n/translator.h"

#include <QFileInfo>

namespace tvq52 {

namespace {

QString tr(Translator& translator, const char* native)
{
    return translator.translate(QString::fromUtf8(native));
}

QString title(Translator& translator)
{
    return tr(translator, "Fusión de base de datos");
}

} // namespace

ChosenFileKind chosenFileKind(const QString& name)
{
    const QString upper = name.toUpper();
    // What a dialog left without a choice returns.
    if (name.isEmpty() || upper == QLatin1String("*.DB") || upper == QLatin1String("*.TQ52")
        || upper == QLatin1String("*.*") || upper == QLatin1String("*"))
        return ChosenFileKind::None;
    if (isExchangeFileName(name))
        return ChosenFileKind::Exchange;
    if (upper.endsWith(QLatin1String(".DB")))
        return ChosenFileKind::Database;
    if (upper.endsWith(QLatin1String(".MDB")))
        return ChosenFileKind::Access;
    return ChosenFileKind::Other;
}

QString chooseMergeOrImportFile(Translator& translator, Prompter& prompter, const QString& folder, ChosenFileKind* kind)
{
    // Either case: a unit's own files are named NNNN.TQ52.
    const QStringList filters{tr(translator, "Bases de datos TVQ-52 (*.db)"),
                              QStringLiteral("VORTA MERIAL TVQ52 File (*.tq52 *.TQ52)"),
                              tr(translator, "Todos los archivos (*)")};
    const QString name =
        prompter.openFile(tr(translator, "Abrir una base de datos o un archivo de intercambio"), filters, folder);
    *kind = checkMergeOrImportFile(translator, prompter, name);
    return *kind == ChosenFileKind::None ? QString() : name;
}

ChosenFileKind checkMergeOrImportFile(Translator& translator, Prompter& prompter, const QString& name)
{
    const ChosenFileKind kind = chosenFileKind(name);
    switch (kind) {
    case ChosenFileKind::Database:
    case ChosenFileKind::Exchange:
        return kind;
    case ChosenFileKind::Access:
        prompter.message(Message{tr(translator,
                                    "Las bases de datos de Access (.mdb) no se pueden leer aquí. Abra una "
                                    "base de datos de este programa (.db) o un archivo de intercambio (.tq52)."),
                                 title(translator),
                                 MessageStyle::Critical,
                                 0,
                                 {}});
        break;
    case ChosenFileKind::Other:
        showCatalogue(prompter, translator, msg::WrongFormat, MessageStyle::Critical);
        break;
    case ChosenFileKind::None:
        break;
    }
    return ChosenFileKind::None;
}

QString mergeSummaryText(Translator& translator, const QString& source, const MergeResult& result)
{
    const QString name = QFileInfo(source).fileName();
    switch (result.fault) {
    case MergeResult::Fault::Missing:
        return tr(translator, "No se encuentra el archivo %1").arg(source);
    case MergeResult::Fault::NotARegularFile:
        return errorText(translator, nonRegularFileError(source, FileUse::Read));
    case MergeResult::Fault::OwnDatabase:
        return tr(translator, "%1 es la base de datos de este programa: no se puede fusionar consigo misma.").arg(name);
    case MergeResult::Fault::NotOurs:
        return tr(translator, "%1 no es una base de datos de este programa.").arg(name)
            + (result.detail.isEmpty() ? QString() : QStringLiteral("\n") + result.detail);
    case MergeResult::Fault::Journal:
        return tr(translator, "No se puede escribir en el diario de intercambios: %1").arg(result.detail);
    case MergeResult::Fault::None:
        break;
    }
    QStringList lines{tr(translator, "Registros fusionados desde %1:").arg(name)};
    const QString counts = tr(translator, "%1: %2 añadidos, %3 ya presentes, %4 rechazados");
    const QString unread = tr(translator, "%1: no se ha podido leer (%2)");
    const QString leftOut = tr(translator, "%1: no se han fusionado las columnas que esta base de datos no tiene: %2");
    for (const MergeTableCount& t : result.tables) {
        if (t.table != result.failedTable || !result.failure.failed())
            lines << (t.error.isEmpty() ? counts.arg(t.table).arg(t.added).arg(t.present).arg(t.refused)
                                        : unread.arg(t.table, t.error));
        if (!t.leftOut.isEmpty())
            lines << leftOut.arg(t.table, t.leftOut.join(QStringLiteral(", ")));
    }
    if (result.failure.failed())
        lines << (result.failedTable.isEmpty()
                      ? tr(translator, "La fusión no ha podido empezar: %1. No se ha guardado nada.")
                            .arg(databaseFailureText(result.failure, translator))
                      : tr(translator,
                           "La fusión se ha detenido en la tabla %1: %2. Las tablas anteriores están "
                           "guardadas; %1 y las siguientes no. Vuelva a fusionar cuando se haya resuelto "
                           "(lo ya guardado no se repite).")
                            .arg(result.failedTable, databaseFailureText(result.failure, translator)));
    if (result.stopped())
        lines << tr(translator,
                    "Fusión parada en la tabla %1: las tablas anteriores están guardadas; %1 y las siguientes "
                    "no. Vuelva a fusionar para terminar (lo ya guardado no se repite).")
                     .arg(result.stoppedAt);
    if (!result.sealError.isEmpty())
        lines << tr(translator, "No se puede escribir en el diario de intercambios: %1").arg(result.sealError);
    if (!result.journalHead.isEmpty())
        lines << tr(translator, "Cabeza de la cadena:") + QLatin1Char(' ') + QString::fromLatin1(result.journalHead);
    return lines.join(QLatin1Char('\n'));
}

bool runDatabaseMerge(Database& database, Translator& translator, Prompter& prompter, const QString& source,
                      const MergeProgress& progress, const MergeStop& stop)
{
    const MergeResult result = mergeDatabase(database, source, progress, stop);
    // A stop asked for is no fault.
    const bool stoppedOnly = result.stopped() && !result.failure.failed() && result.sealError.isEmpty();
    prompter.message(Message{mergeSummaryText(translator, source, result),
                             title(translator),
                             result.complete() || stoppedOnly ? MessageStyle::Information : MessageStyle::Critical,
                             0,
                             {}});
    return result.complete();
}

} // namespace tvq52
