#include "cli/exchange_command.h"

#include "cli/cli_session.h"
#include "exchange/exchange_import.h"
#include "exchange/exchange_writer.h"

#include <QTextStream>

namespace tvq52 {

int runImport(CliSession& session, const CliOptions& options)
{
    QTextStream err(stderr);
    const QStringList args = options.command.mid(1);
    if (args.size() != 1) {
        err << "tvq52-cli: usage: import FILE.TQ52" << Qt::endl;
        return 2;
    }
    AppContext& ctx = *session.ctx;
    if (!openFolderDatabase(ctx))
        return 1;
    ExchangeImporter importer(*ctx.db);
    importer.onProgress = [&err](const ImportProgress& p) {
        err << p.table << ": " << p.rows << " rows read, " << p.added << " added, "
            << QString::number(p.rowsPerSecond, 'f', 0) << " rows/s" << Qt::endl;
    };
    const ImportSummary summary = importer.run(args[0]);
    QTextStream out(stdout);
    for (const QString& line : summaryLines(summary, ctx.guru))
        out << line << '\n';
    out.flush();
    return summary.succeeded() ? 0 : 1;
}

int runExport(CliSession& session, const CliOptions& options)
{
    QTextStream err(stderr);
    const QStringList args = options.command.mid(1);
    QList<qint32> serials;
    bool ok = args.size() >= 2;
    for (qsizetype i = 1; ok && i < args.size(); ++i)
        serials << args[i].toInt(&ok);
    if (!ok) {
        err << "tvq52-cli: usage: export FILE.TQ52 SERIAL..." << Qt::endl;
        return 2;
    }
    AppContext& ctx = *session.ctx;
    if (!openFolderDatabase(ctx))
        return 1;
    const Result<qint64> rows = writeExchangeFile(*ctx.db, args[0], serials);
    if (!rows) {
        session.prompter->show(ctx.guru.GetTranslation(QStringLiteral("No se pudo escribir el archivo %1")).arg(args[0])
                                   + QLatin1Char('\n') + rows.error().detail,
                               MessageStyle::Critical);
        return 1;
    }
    QTextStream(stdout) << *rows << " rows written to " << args[0] << Qt::endl;
    return 0;
}

} // namespace tvq52
