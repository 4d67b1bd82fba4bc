#include "cli/fleet_command.h"

#include "app/app_context.h"
#include "app/data_folder.h"
#include "app/ini_file.h"
#include "app/settings.h"
#include "cli/cli_session.h"
#include "core/own_words.h"
#include "records/fleet.h"
#include "reports/fleet_proof.h"
#include "evidence/signed_pdf.h"

#include <QFile>
#include <QTextStream>

#include <algorithm>

namespace tvq52 {

namespace {

constexpr int kDefaultStaleDays = 30;

std::optional<int> fleetDayCount(const QString& text)
{
    bool ok = false;
    const int days = text.toInt(&ok);
    return ok && days >= 0 ? std::optional<int>(days) : std::nullopt;
}

QStringList fleetTableRow(const FleetUnit& u)
{
    QStringList reasons;
    for (FleetReason r : u.reasons)
        reasons << fleetReasonWord(r);
    return {QString::number(u.urgency),
            QString::number(u.serial),
            u.venue,
            u.phone,
            u.lastDownload ? u.lastDownload->toString(QStringLiteral("yyyy-MM-dd HH:mm")) : QStringLiteral("never"),
            u.daysSinceDownload ? QString::number(*u.daysSinceDownload) : QStringLiteral("-"),
            u.lastOutcome,
            QString::number(u.exceedanceNights),
            u.journalOk ? QStringLiteral("ok") : QStringLiteral("FAILED"),
            reasons.join(QLatin1Char(' '))};
}

// Columns padded to their widest cell; numbers to the right.
void printFleetTable(const std::vector<FleetUnit>& units)
{
    const QStringList header{QStringLiteral("Urgency"), QStringLiteral("Serial"),  QStringLiteral("Venue"),
                             QStringLiteral("Phone"),   QStringLiteral("Last download"), QStringLiteral("Days"),
                             QStringLiteral("Outcome"), QStringLiteral("Nights"),  QStringLiteral("Journal"),
                             QStringLiteral("Reasons")};
    const QList<bool> right{true, true, false, false, false, true, false, true, false, false};
    std::vector<QStringList> rows{header};
    for (const FleetUnit& u : units)
        rows.push_back(fleetTableRow(u));
    QList<qsizetype> widths(header.size(), 0);
    for (const QStringList& row : rows)
        for (qsizetype c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], row[c].size());
    QTextStream out(stdout);
    for (const QStringList& row : rows) {
        QStringList cells;
        for (qsizetype c = 0; c < row.size(); ++c)
            cells << (right[c] ? row[c].rightJustified(widths[c]) : row[c].leftJustified(widths[c]));
        QString line = cells.join(QLatin1String("  "));
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        out << line << '\n';
    }
}

} // namespace

int fleetStaleDaysSetting(const AppContext& ctx)
{
    const IniFile ini = IniFile::load(settingsPath(ctx.home));
    const std::optional<QString> value =
        ini.value(QString::fromLatin1(kSettingsSection), QStringLiteral("FleetStaleDays"));
    const std::optional<int> days = value ? fleetDayCount(*value) : std::nullopt;
    return days.value_or(kDefaultStaleDays);
}

const CommandSyntax& fleetSyntax()
{
    static const CommandSyntax syntax{
        "fleet",
        "fleet [--days N] [--json | --csv | --pdf FILE] [--verify]",
        {"Lista cada unidad con su última descarga y lo que requiere atención, lo más urgente primero: borrada, "
         "batería, reprogramada, diario, desfasada (sin leer hace más de N días, 30 o el ajuste FleetStaleDays),",
         "superaciones (noches de las 30 últimas con un límite sobrepasado). --verify comprueba antes el diario de "
         "cada unidad.",
         "--pdf escribe la vista general como un informe cuyo pie y metadatos contienen el resumen de las unidades "
         "mostradas y la cabeza del diario (véase verify-report)."},
        {QStringLiteral("--json"), QStringLiteral("--csv"), QStringLiteral("--verify")},
        {QStringLiteral("--days"), QStringLiteral("--pdf")}};
    return syntax;
}

int runFleet(CliSession& session, const CliOptions&, const CommandArgs& args)
{
    AppContext& ctx = *session.ctx;
    if (int(args.has("--json")) + int(args.has("--csv")) + int(args.value("--pdf").has_value()) > 1)
        return refuseUsage(ctx.translator, ownWords(QStringLiteral("--json, --csv y --pdf no van juntas")), fleetSyntax());
    FleetOptions options;
    options.staleDays = fleetStaleDaysSetting(ctx);
    if (const auto text = args.value("--days")) {
        const std::optional<int> days = fleetDayCount(*text);
        if (!days)
            return refuseUsage(ctx.translator, ownWords(QStringLiteral("No es un número de días: %1"), {*text}),
                               fleetSyntax());
        options.staleDays = *days;
    }
    // Only --verify writes: it keeps what each unit's journal check found.
    if (!(args.has("--verify") ? openFolderDatabase(ctx) : openFolderDatabaseToRead(ctx)))
        return 1;
    if (args.has("--verify")) {
        if (const Status checked = checkFleetJournal(*ctx.db).status(); !checked) {
            printError(ctx.translator, checked.error());
            return 1;
        }
    }
    if (const auto pdf = args.value("--pdf")) {
        const Result<FleetTable> table = provenFleetTable(*ctx.db, ctx.translator, options, reportFooterText(ctx));
        const Status written = table ? writeFleetPdf(*table, *pdf) : Status(table.error());
        if (!written) {
            printError(ctx.translator, written.error());
            return 1;
        }
        warnOfPdfSigning(*session.prompter, ctx.translator);
        QTextStream(stdout) << *pdf << Qt::endl;
        return 0;
    }
    const Result<std::vector<FleetUnit>> units = loadFleet(*ctx.db, options);
    if (!units) {
        printError(ctx.translator, units.error());
        return 1;
    }
    if (args.has("--json") || args.has("--csv")) {
        QFile out;
        if (!out.open(stdout, QIODevice::WriteOnly))
            return 1;
        out.write(args.has("--json") ? fleetJson(*units) : fleetCsv(*units));
        return 0;
    }
    printFleetTable(*units);
    return 0;
}

} // namespace tvq52
