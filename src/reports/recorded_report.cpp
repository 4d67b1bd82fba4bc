#include "reports/recorded_report.h"

#include "db/database.h"
#include "db/journal.h"
#include "db/schema.h"
#include "i18n/loc_guru.h"
#include "records/record_grid_model.h"
#include "reports/exceedance_summary.h"
#include "reports/level_script.h"
#include "reports/programming_report.h"
#include "reports/recorded_range.h"

#include <QLocale>
#include <QSqlError>
#include <QSqlQuery>

namespace tvq52 {

namespace {

QString s(const char* text)
{
    return QString::fromUtf8(text);
}

QString colon(const LocGuru& guru, int id)
{
    return guru.GetS(id) + QLatin1Char(':');
}

QString stampText(const QDateTime& t)
{
    return t.toString(QStringLiteral("dd/MM/yyyy HH:mm"));
}

// The grid's headings name the report's columns: "H_" + column.
void setHeadings(ReportPart& part, Database& database, const LocGuru& guru, RecordGrid grid)
{
    const RecordGridModel headings(database, grid, guru);
    for (int c = 0; c < headings.columnCount(); ++c) {
        const QString field = QStringLiteral("H_") + gridColumns(grid)[c].field;
        if (part.hasField(field))
            part.setText(field, headings.headerData(c, Qt::Horizontal).toString());
    }
}

// The fields of the unit's programming that every recorded-data report
// carries on its first part.
std::optional<ReportError> fillUnitPart(Report& report, Database& database, const LocGuru& guru,
                                        const RecordedReportRequest& request)
{
    auto data = readProgrammingReportData(database, request.serial, QString());
    if (auto* e = std::get_if<ReportError>(&data))
        return *e;
    std::get<ProgrammingReportData>(data).footerText = request.footer;
    fillProgrammingFields(report, guru, std::get<ProgrammingReportData>(data));
    report.setText(s("NSerie"), QString::number(request.serial));
    report.setText(s("TNSerieCab"), guru.GetS(2));
    const int titles[] = {131, 142, 0};
    const int title = titles[int(request.kind)];
    report.setText(s("TTitulo"),
                   title ? guru.GetS(title).remove(QLatin1Char(':')).trimmed()
                         : guru.GetTranslation(QStringLiteral("RESUMEN DE EXCESOS")));
    report.setText(s("TIntervalosLeq"), colon(guru, 131));
    report.setText(s("TRegistrosSesion"), colon(guru, 142));
    report.setText(s("TRango"),
                   guru.GetTranslation(QStringLiteral("Desde %1 hasta %2"))
                       .replace(QLatin1String("%1"), stampText(request.from))
                       .replace(QLatin1String("%2"), stampText(request.to)));
    report.setText(s("TCadena"), guru.GetTranslation(QStringLiteral("Cadena del diario de intercambios:")));
    const QByteArray head = Journal(database).head();
    report.setText(s("Cadena"), head.isEmpty() ? QStringLiteral("---") : QString::fromLatin1(head));
    return std::nullopt;
}

// The sub-report's rows: the unit's records of `table` that start in range.
void bindRange(ReportPart& part, Database& database, const QString& table, const RecordedReportRequest& request)
{
    const RangeQuery r = rowsStartingIn(table, {}, request.serial, request.from, request.to, database.dialect());
    part.setRecordSource(r.sql, r.binds);
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

// The nights as rows of bound values, so the engine lays them out like any
// record source; an empty list selects nothing.
void bindNights(ReportPart& part, const ExceedanceSummary& summary)
{
    static const char* const names[] = {"Noche",       "NIntervalos", "NPasadasLocal", "NPasadasVecino",
                                        "NPasMaxFast", "NLeqLocal",   "NLeqVecino",    "NMaxFast",
                                        "NE3",         "NDesco",      "NSinRegistro"};
    // A server types a parameter only from its context: each one says what it is.
    auto typed = [](const char* name) {
        const bool text = qstrcmp(name, "Noche") == 0 || qstrcmp(name, "NLeqLocal") == 0
            || qstrcmp(name, "NLeqVecino") == 0 || qstrcmp(name, "NMaxFast") == 0;
        return text ? QStringLiteral("CAST(? AS TEXT)") : QStringLiteral("CAST(? AS INTEGER)");
    };
    QStringList selects;
    QVariantList binds;
    for (const NightSummary& n : summary.nights) {
        QStringList items;
        for (const char* name : names)
            items << (selects.isEmpty() ? typed(name) + QStringLiteral(" AS ") + quoteIdentifier(s(name))
                                        : typed(name));
        selects << QStringLiteral("SELECT ") + items.join(QLatin1String(", "));
        binds << QStringLiteral("%1 - %2").arg(stampText(n.start), n.end.toString(QStringLiteral("HH:mm")))
              << n.intervals << n.passesVenue << n.passesNeighbour << n.passesFast << peakText(n.venue)
              << peakText(n.neighbour) << peakText(n.fast) << n.sensorInactive << n.disconnected
              << n.minutesWithoutRecord;
    }
    if (selects.isEmpty()) {
        QStringList items;
        for (const char* name : names)
            items << QStringLiteral("NULL AS ") + quoteIdentifier(s(name));
        part.setRecordSource(QStringLiteral("SELECT ") + items.join(QLatin1String(", "))
                             + QStringLiteral(" WHERE 1 = 0"));
        return;
    }
    part.setRecordSource(selects.join(QLatin1String(" UNION ALL ")), binds);
}

std::optional<ReportError> fillExceedances(Report& report, Database& database, const LocGuru& guru,
                                           const RecordedReportRequest& request)
{
    QString error;
    const auto summary = loadExceedanceSummary(database, request.serial, request.from, request.to, &error);
    if (!summary)
        return ReportError{ReportError::Database, error};
    report.setText(s("TNocheProgramada"),
                   summary->night.isSet()
                       ? guru.GetTranslation(QStringLiteral("Noche programada: %1 - %2"))
                             .replace(QLatin1String("%1"), summary->night.start.toString(QStringLiteral("HH:mm")))
                             .replace(QLatin1String("%2"), summary->night.end.toString(QStringLiteral("HH:mm")))
                       : guru.GetTranslation(QStringLiteral("Sin horario nocturno programado")));
    report.setText(s("TNota"),
                   guru.GetTranslation(QStringLiteral("Nivel máximo / límite en vigor (intervalos por encima del "
                                                      "límite). Un minuto sin registro no cuenta como cumplimiento.")));
    report.setText(s("TNoches"), colon(guru, 99));
    report.setText(s("TSesionesRes"), colon(guru, 142));
    if (ReportPart* nights = report.subReport(s("Noches"))) {
        nights->setText(s("CNoche"), guru.GetS(99));
        nights->setText(s("CIntervalos"), guru.GetTranslation(QStringLiteral("Intervalos")));
        nights->setText(s("CPasadas1"), guru.GetS(122));
        nights->setText(s("CPasadas2"), guru.GetS(123));
        nights->setText(s("CPasadas"), guru.GetS(134) + QStringLiteral(" LFmax"));
        nights->setText(s("CE3"), guru.GetS(124));
        nights->setText(s("CDesco"), guru.GetS(138));
        nights->setText(s("CSinRegistro"), guru.GetTranslation(QStringLiteral("Minutos sin registro")));
        setHeadings(*nights, database, guru, RecordGrid::Intervals);
        bindNights(*nights, *summary);
    }
    if (ReportPart* sessions = report.subReport(s("SesionReg"))) {
        auto script = LevelScript::parse(BuildLevelScript(guru));
        if (auto* e = std::get_if<ReportError>(&script))
            return *e;
        sessions->setRowHook(std::get<LevelScript>(script).hook());
        setHeadings(*sessions, database, guru, RecordGrid::Sessions);
        bindRange(*sessions, database, s("Sesiones"), request);
    }
    return std::nullopt;
}

RecordedReportResult rendered(std::variant<RenderedReport, ReportError> r)
{
    if (auto* e = std::get_if<ReportError>(&r))
        return *e;
    return std::move(std::get<RenderedReport>(r));
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

RecordedReportResult buildRecordedReport(Database& database, const LocGuru& guru, const RecordedReportRequest& request)
{
    if (request.kind == RecordedReportKind::Sessions) {
        QString error;
        const qint64 sessions =
            countStartingIn(database, s("Sesiones"), request.serial, request.from, request.to, &error);
        if (sessions < 0)
            return ReportError{ReportError::Database, error};
        if (sessions == 0)
            return NoRecordsInRange{};
    }
    auto loaded = Report::load(reportTemplatePath(request.assetFolder, recordedReportFile(request.kind)),
                               recordedReportName(request.kind));
    if (auto* e = std::get_if<ReportError>(&loaded))
        return *e;
    Report& report = *std::get<std::unique_ptr<Report>>(loaded);
    if (auto e = fillUnitPart(report, database, guru, request))
        return *e;

    if (request.kind == RecordedReportKind::Exceedances) {
        if (auto e = fillExceedances(report, database, guru, request))
            return *e;
        return rendered(report.render(database.connection()));
    }

    const bool intervals = request.kind == RecordedReportKind::Intervals;
    ReportPart* records = report.subReport(intervals ? s("IntervalosLeq") : s("SesionReg"));
    if (!records)
        return ReportError{ReportError::TemplateBroken, intervals ? s("IntervalosLeq") : s("SesionReg")};
    auto script = LevelScript::parse(BuildLevelScript(guru));
    if (auto* e = std::get_if<ReportError>(&script))
        return *e;
    records->setRowHook(std::get<LevelScript>(script).hook());
    bindRange(*records, database, intervals ? s("Intervalos") : s("Sesiones"), request);
    setHeadings(*records, database, guru, intervals ? RecordGrid::Intervals : RecordGrid::Sessions);

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
            records->setText(s(l.field), l.colon ? colon(guru, l.id) : guru.GetS(l.id));
    }
    return rendered(report.render(database.connection()));
}

} // namespace tvq52
