#include "reports/recorded_report.h"

#include "core/application_info.h"
#include "db/database.h"
#include "db/schema.h"
#include "i18n/translator.h"
#include "records/record_grid_model.h"
#include "reports/exceedance_summary.h"
#include "reports/level_script.h"
#include "reports/programming_report.h"
#include "reports/proof_footer.h"
#include "reports/report_store.h"
#include "reports/stored_sources.h"

#include <QLocale>

namespace tvq52 {

namespace {

QString s(const char* text)
{
    return QString::fromUtf8(text);
}

QString colon(const Translator& translator, int id)
{
    return translator.text(id) + QLatin1Char(':');
}

QString stampText(const QDateTime& t)
{
    return t.toString(QStringLiteral("dd/MM/yyyy HH:mm"));
}

// The grid's headings name the report's columns: "H_" + column.
void setHeadings(ReportPart& part, Database& database, const Translator& translator, RecordGrid grid)
{
    const RecordGridModel headings(database, grid, translator);
    for (int c = 0; c < headings.columnCount(); ++c) {
        const QString field = QStringLiteral("H_") + gridColumns(grid)[c].field;
        if (part.hasField(field))
            part.setText(field, headings.headerData(c, Qt::Horizontal).toString());
    }
}

// The fields of the unit's programming that every recorded-data report
// carries on its first part.
Status fillUnitPart(Report& report, Database& database, const Translator& translator, const RecordedReportRequest& request)
{
    auto data = readProgrammingReportData(database, request.serial, QString());
    if (!data)
        return data.error();
    data->footerText = request.footer;
    fillProgrammingFields(report, translator, *data);
    // The range of the interval and session sources.
    report.bind(QStringLiteral("from"), request.from);
    report.bind(QStringLiteral("to"), request.to);
    report.setText(s("NSerie"), QString::number(request.serial));
    report.setText(s("TNSerieCab"), translator.text(2));
    const int titles[] = {131, 142, 0};
    const int title = titles[int(request.kind)];
    report.setText(s("TTitulo"),
                   title ? translator.text(title).remove(QLatin1Char(':')).trimmed()
                         : translator.translate(QStringLiteral("RESUMEN DE EXCESOS")));
    report.setText(s("TIntervalosLeq"), colon(translator, 131));
    report.setText(s("TRegistrosSesion"), colon(translator, 142));
    report.setText(s("TRango"),
                   translator.translate(QStringLiteral("Desde %1 hasta %2"))
                       .replace(QLatin1String("%1"), stampText(request.from))
                       .replace(QLatin1String("%2"), stampText(request.to)));
    return {};
}

QString levelText(float level)
{
    const long tenths = std::lround(double(level) * 10);
    if (tenths == 0)
        return QStringLiteral("---");
    if (tenths == 590)
        return QStringLiteral("UND");
    if (tenths == 1210)
        return QStringLiteral("UP");
    return QString::number(double(tenths) / 10, 'f', 1);
}

QString peakText(const LevelPeak& p)
{
    QString text = levelText(p.level);
    if (p.limit != 255)
        text += QStringLiteral(" / %1").arg(p.limit);
    return text + QStringLiteral(" (%1)").arg(p.over);
}

// The nights as rows of the "nights" source, laid out like any other.
ReportRows nightRows(const ExceedanceSummary& summary)
{
    ReportRows rows;
    for (const NightSummary& n : summary.nights) {
        ReportRow row;
        row.set(s("Noche"), QStringLiteral("%1 - %2").arg(stampText(n.start), n.end.toString(QStringLiteral("HH:mm"))));
        row.set(s("NIntervalos"), qint64(n.intervals));
        row.set(s("NPasadasLocal"), n.passesVenue);
        row.set(s("NPasadasVecino"), n.passesNeighbour);
        row.set(s("NPasMaxFast"), n.passesFast);
        row.set(s("NLeqLocal"), peakText(n.venue));
        row.set(s("NLeqVecino"), peakText(n.neighbour));
        row.set(s("NMaxFast"), peakText(n.fast));
        row.set(s("NE3"), qint64(n.sensorInactive));
        row.set(s("NDesco"), qint64(n.disconnected));
        row.set(s("NSinRegistro"), qint64(n.minutesWithoutRecord));
        rows.push_back(std::move(row));
    }
    return rows;
}

Status fillExceedances(Report& report, ReportSources& sources, Database& database, const Translator& translator,
                       const RecordedReportRequest& request)
{
    const Result<ExceedanceSummary> summary = loadExceedanceSummary(database, request.serial, request.from, request.to);
    if (!summary)
        return summary.error();
    report.setText(s("TNocheProgramada"),
                   summary->night.isSet()
                       ? translator.translate(QStringLiteral("Noche programada: %1 - %2"))
                             .replace(QLatin1String("%1"), summary->night.start.toString(QStringLiteral("HH:mm")))
                             .replace(QLatin1String("%2"), summary->night.end.toString(QStringLiteral("HH:mm")))
                       : translator.translate(QStringLiteral("Sin horario nocturno programado")));
    report.setText(s("TNota"),
                   translator.translate(QStringLiteral("Nivel máximo / límite en vigor (intervalos por encima del "
                                                      "límite). Un minuto sin registro no cuenta como cumplimiento.")));
    report.setText(s("TNoches"), colon(translator, 99));
    report.setText(s("TSesionesRes"), colon(translator, 142));
    if (ReportPart* nights = report.subReport(s("Noches"))) {
        nights->setText(s("CNoche"), translator.text(99));
        nights->setText(s("CIntervalos"), translator.translate(QStringLiteral("Intervalos")));
        nights->setText(s("CPasadas1"), translator.text(122));
        nights->setText(s("CPasadas2"), translator.text(123));
        nights->setText(s("CPasadas"), translator.text(134) + QStringLiteral(" LFmax"));
        nights->setText(s("CE3"), translator.text(124));
        nights->setText(s("CDesco"), translator.text(138));
        nights->setText(s("CSinRegistro"), translator.translate(QStringLiteral("Minutos sin registro")));
        setHeadings(*nights, database, translator, RecordGrid::Intervals);
    }
    sources.add(s("nights"),
                [rows = nightRows(*summary)](const ReportParameters&) { return Result<ReportRows>(rows); });
    if (ReportPart* sessions = report.subReport(s("SesionReg"))) {
        auto script = LevelScript::parse(BuildLevelScript(translator));
        if (!script)
            return script.error();
        sessions->setRowHook(script->hook());
        setHeadings(*sessions, database, translator, RecordGrid::Sessions);
    }
    return {};
}

// The records a kind of report shows, for its proof.
ReportScope proofScope(const RecordedReportRequest& request)
{
    const ReportKind kinds[] = {ReportKind::Intervals, ReportKind::Sessions, ReportKind::Exceedances};
    return {kinds[int(request.kind)], request.serial, request.from, request.to, {}};
}

RecordedReportResult rendered(Result<RenderedReport> r)
{
    if (!r)
        return r.error();
    return std::optional<RenderedReport>(std::move(*r));
}

} // namespace

QString recordedReportFile(RecordedReportKind kind)
{
    switch (kind) {
    case RecordedReportKind::Intervals:
        return QStringLiteral("tvq52_2.xml");
    case RecordedReportKind::Sessions:
        return QStringLiteral("tvq52_3.xml");
    case RecordedReportKind::Exceedances:
        return QStringLiteral("tvq52_5.xml");
    }
    return {};
}

QString recordedReportName(RecordedReportKind kind)
{
    switch (kind) {
    case RecordedReportKind::Intervals:
        return QStringLiteral("TVQ52_2");
    case RecordedReportKind::Sessions:
        return QStringLiteral("TVQ52_3");
    case RecordedReportKind::Exceedances:
        return QStringLiteral("TVQ52_5");
    }
    return {};
}

QString recordedReportTitle(RecordedReportKind kind)
{
    switch (kind) {
    case RecordedReportKind::Intervals:
        return QStringLiteral("Intervalos");
    case RecordedReportKind::Sessions:
        return QStringLiteral("Sesiones");
    case RecordedReportKind::Exceedances:
        return QStringLiteral("Resumen de excesos");
    }
    return {};
}

QString reportDocumentTitle(const Translator& translator, const QString& nativeName, qint32 serial)
{
    return QStringLiteral("%1 %2: %3").arg(QLatin1String(kApplicationTitle)).arg(serial).arg(translator.translate(nativeName));
}

RecordedReportResult buildRecordedReport(Database& database, const Translator& translator,
                                         const RecordedReportRequest& request)
{
    if (request.kind == RecordedReportKind::Sessions) {
        const Result<qint64> sessions =
            ReportStore(database).countStartingIn(RecordKind::Sessions, request.serial, request.from, request.to);
        if (!sessions)
            return sessions.error();
        if (*sessions == 0)
            return std::optional<RenderedReport>();
    }
    auto loaded = Report::load(reportTemplatePath(request.assetFolder, recordedReportFile(request.kind)),
                               recordedReportName(request.kind));
    if (!loaded)
        return loaded.error();
    Report& report = **loaded;
    if (Status filled = fillUnitPart(report, database, translator, request); !filled)
        return filled.error();
    ReportSources sources = storedSources(database);

    if (request.kind == RecordedReportKind::Exceedances) {
        if (Status filled = fillExceedances(report, sources, database, translator, request); !filled)
            return filled.error();
        return rendered(renderWithProof(database, translator, report, sources, proofScope(request)));
    }

    const bool intervals = request.kind == RecordedReportKind::Intervals;
    ReportPart* records = report.subReport(intervals ? s("IntervalosLeq") : s("SesionReg"));
    if (!records)
        return reportError(ReportFailure::TemplateBroken, intervals ? s("IntervalosLeq") : s("SesionReg"));
    auto script = LevelScript::parse(BuildLevelScript(translator));
    if (!script)
        return script.error();
    records->setRowHook(script->hook());
    setHeadings(*records, database, translator, intervals ? RecordGrid::Intervals : RecordGrid::Sessions);

    const struct {
        const char* field;
        int id;
        bool colon;
        bool inIntervals, inSessions;
    } labels[] = {
        {"LabelEmision", 132, true, true, false},
        {"LabelRecepcion", 133, true, true, false},
        {"LabelPasadas", 134, true, true, true},
        {"LabelReprogramacion", 135, true, true, false},
        {"LabelLineaInsuficiente", 136, true, true, false},
        {"LabelENA", 137, true, true, false},
        {"LabelPasadas1", 122, true, true, true},
        {"LabelPasadas2", 123, true, true, true},
        {"LabelSensorInactivo", 124, false, true, true},
        {"LabelDesconexiones", 138, true, true, true},
        {"LabelDNA", 139, true, true, false},
        {"LabelTiempoAtenuacion", 80, true, false, true},
        {"LabelSesion", 100, true, false, true},
        {"LabelLDE", 102, true, false, true},
        {"LabelLDR", 103, true, false, true},
        {"LabelLNE", 104, true, false, true},
        {"LabelLNR", 105, true, false, true},
        {"LabelNoche", 99, true, false, true},
    };
    for (const auto& l : labels) {
        if (intervals ? l.inIntervals : l.inSessions)
            records->setText(s(l.field), l.colon ? colon(translator, l.id) : translator.text(l.id));
    }
    return rendered(renderWithProof(database, translator, report, sources, proofScope(request)));
}

} // namespace tvq52
