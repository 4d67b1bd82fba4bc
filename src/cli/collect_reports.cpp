#include "cli/collect_reports.h"

#include "app/app_context.h"
#include "app/data_folder.h"
#include "app/settings.h"
#include "cli/fleet_command.h"
#include "core/own_words.h"
#include "core/regular_file.h"
#include "records/fleet.h"
#include "reports/fleet_proof.h"
#include "reports/recorded_report.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace tvq52 {

namespace {

Error unwritable(const QString& path, const QString& why)
{
    return ownWords(QStringLiteral("No se puede escribir %1: %2"), {path, why});
}

} // namespace

Result<QString> writeCollectedExceedances(AppContext& ctx, const QString& folder, qint32 serial, const QDateTime& from,
                                          const QDateTime& to)
{
    if (!QDir().mkpath(folder))
        return unwritable(folder, QStringLiteral("mkdir"));
    RecordedReportRequest request;
    request.kind = RecordedReportKind::Exceedances;
    request.serial = serial;
    request.from = from;
    request.to = to;
    request.footer = reportFooterText(ctx);
    request.assetFolder = findAssetFolder();
    const RecordedReportResult built = buildRecordedReport(*ctx.db, ctx.translator, request);
    if (!built)
        return built.error();
    const QString stamp = QStringLiteral("yyyyMMddHHmm");
    const QString path = QDir(folder).filePath(
        QStringLiteral("exceedances-%1-%2-%3.pdf").arg(serial).arg(from.toString(stamp), to.toString(stamp)));
    if (!built->has_value())
        return ownWords(QStringLiteral("No hay datos de la unidad %1 para el informe"), {QString::number(serial)});
    if (const Status written = (*built)->writePdf(path, recordedReportName(request.kind)); !written)
        return written.error();
    return path;
}

Status writeFleetFiles(AppContext& ctx, const QString& folder)
{
    if (!QDir().mkpath(folder))
        return unwritable(folder, QStringLiteral("mkdir"));
    FleetOptions options;
    options.staleDays = fleetStaleDaysSetting(ctx);
    const auto units = loadFleet(*ctx.db, options);
    if (!units)
        return units.error();
    const QString csv = QDir(folder).filePath(QStringLiteral("fleet.csv"));
    if (isNonRegularFile(csv))
        return nonRegularFileError(csv, FileUse::Write);
    QSaveFile file(csv);
    if (!file.open(QIODevice::WriteOnly) || file.write(fleetCsv(*units)) < 0 || !file.commit())
        return unwritable(csv, file.errorString());
    const Result<FleetTable> table = provenFleetTable(*ctx.db, ctx.translator, options, reportFooterText(ctx));
    if (!table)
        return table.error();
    return writeFleetPdf(*table, QDir(folder).filePath(QStringLiteral("fleet.pdf")));
}

} // namespace tvq52
