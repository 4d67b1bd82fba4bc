#include "cli/report_command.h"

#include "app/data_folder.h"
#include "app/settings.h"
#include "cli/cli_session.h"
#include "db/database.h"
#include "i18n/catalogue_message.h"
#include "reports/programming_report.h"

#include <QTextStream>

namespace tvq52 {

namespace {

int usage(QTextStream& err)
{
    err << "tvq52-cli: usage: report programming SERIAL --pdf FILE" << Qt::endl;
    return 2;
}

} // namespace

int runReport(CliSession& session, const CliOptions& options)
{
    QTextStream err(stderr);
    QStringList args = options.command.mid(1);
    QString pdf;
    const int at = int(args.indexOf(QStringLiteral("--pdf")));
    if (at >= 0) {
        if (at + 1 >= args.size())
            return usage(err);
        pdf = args[at + 1];
        args.remove(at, 2);
    }
    if (args.size() != 2 || args[0] != QLatin1String("programming") || pdf.isEmpty())
        return usage(err);
    bool ok = false;
    const qint32 serial = args[1].toInt(&ok);
    if (!ok || serial <= 0) {
        err << "tvq52-cli: not a serial number: " << args[1] << Qt::endl;
        return 2;
    }
    AppContext& ctx = *session.ctx;
    if (!ctx.db && !openFolderDatabase(ctx))
        return 1;
    const QString path = reportTemplatePath(findAssetFolder(), QStringLiteral("tvq52_1.xml"));
    auto built = buildProgrammingReport(*ctx.db, ctx.guru, path, serial, QString(), reportFooterText(ctx));
    if (!built) {
        showError(*session.prompter, ctx.guru, built.error());
        return 1;
    }
    if (const Status written = built->writePdf(pdf, QStringLiteral("TVQ52_1")); !written) {
        showError(*session.prompter, ctx.guru, written.error());
        return 1;
    }
    QTextStream(stdout) << pdf << Qt::endl;
    return 0;
}

} // namespace tvq52
