#include "reports/programming_report.h"

#include "reports/proof_footer.h"

#include "db/database.h"
#include "i18n/translator.h"
#include "reports/proof_footer.h"
#include "reports/report_format.h"
#include "reports/stored_sources.h"

namespace tvq52 {

namespace {

// A stored "dd/mm/yy" with its year in full, by the same rule as the unit's
// dates (below 50 is 20yy); other texts as they are.
QString fullYearDate(const QString& date)
{
    const QStringList parts = date.trimmed().split(QLatin1Char('/'));
    if (parts.size() != 3 || parts[2].size() != 2)
        return date;
    bool ok = false;
    const int yy = parts[2].toInt(&ok);
    if (!ok)
        return date;
    return parts[0] + QLatin1Char('/') + parts[1] + QLatin1Char('/') + QString::number(yy < 50 ? 2000 + yy : 1900 + yy);
}

QString withColon(const Translator& translator, int id)
{
    return translator.text(id) + QLatin1Char(':');
}

} // namespace

QString nonWorkingIntervalListing(const std::vector<StoredNonWorkingInterval>& intervals)
{
    QString listing;
    int listed = 0;
    for (const StoredNonWorkingInterval& i : intervals) {
        if (i.startDate.trimmed() == QLatin1String("00/00/00") || i.startDate.trimmed().isEmpty())
            continue;
        listing += QStringLiteral("%1 - %2 %3 <-> %4 %5")
                       .arg(i.number, 2, 10, QLatin1Char('0'))
                       .arg(fullYearDate(i.startDate), i.startTime, fullYearDate(i.endDate), i.endTime);
        ++listed;
        listing += listed % 2 == 1 ? QStringLiteral("     ,     ") : QStringLiteral("\r");
    }
    return listed == 0 ? QStringLiteral(" ") : listing;
}

bool firmwareHasGlobalCorrection(const QString& firmware)
{
    bool ok = false;
    const double v = firmware.trimmed().toDouble(&ok);
    return ok && v >= 4.0;
}

Result<ProgrammingReportData> readProgrammingReportData(Database& db, qint32 serial, const QString& firmware)
{
    ReportStore store(db);
    const Result<Row> row = store.programming(serial);
    if (!row)
        return row.error();
    const Result<std::vector<StoredNonWorkingInterval>> intervals = store.nonWorkingIntervals(serial);
    if (!intervals)
        return intervals.error();
    ProgrammingReportData d;
    d.serial = serial;
    d.intervalTotals = reportDate(row->value(QStringLiteral("DFechaTotales"))) + QLatin1Char(' ')
        + row->value(QStringLiteral("THoraTotales")).toString();
    d.intervalListing = nonWorkingIntervalListing(*intervals);
    // The report prints the listing it holds; a database opened only to
    // read keeps the Memo it has.
    if (!db.settingsDatabase().readOnly())
        if (Status written = store.writeMemo(d.intervalListing); !written)
            return written.error();
    d.neighbourAction = row->value(QStringLiteral("TTipoActuacionVecino")).toString();
    d.clockChange = row->value(QStringLiteral("BoCambioHora")).toBool();
    d.globalCorrection = row->value(QStringLiteral("CMI")).toBool();
    d.octave31 = row->value(QStringLiteral("SOctava31,5Hz"));
    d.showGlobalCorrection =
        firmwareHasGlobalCorrection(firmware.isEmpty() ? row->value(QStringLiteral("TVersion")).toString() : firmware);
    d.today = QDate::currentDate();
    return d;
}

void fillProgrammingFields(Report& report, const Translator& translator, const ProgrammingReportData& d)
{
    report.bind(QStringLiteral("serial"), d.serial);
    for (const char* name : {"Esborrats", "Reprogramacions", "FinBateria"})
        if (ReportPart* sub = report.subReport(QLatin1String(name))) {
            sub->setText(QStringLiteral("TFecha"), withColon(translator, 16));
            sub->setText(QStringLiteral("THora"), withColon(translator, 17));
        }

    report.setText(QStringLiteral("IntervalTotals"), d.intervalTotals);
    report.setText(QStringLiteral("LabelMemo"), d.intervalListing);
    report.setText(QStringLiteral("TUsuario"), d.footerText);
    report.setText(QStringLiteral("TTFecha"), d.today.toString(QStringLiteral("dd/MM/yyyy")));
    report.setText(QStringLiteral("SOctava31,5Hz"), formatReportValue(d.octave31, QStringLiteral("#.00")));
    report.setText(QStringLiteral("CambioHora"), translator.text(d.clockChange ? 68 : 69));
    const bool noAction = d.neighbourAction.trimmed() == QLatin1String("0");
    report.setText(QStringLiteral("TipusActuacio"), noAction ? translator.text(140) : d.neighbourAction);
    report.setVisible(QStringLiteral("TCMI"), d.showGlobalCorrection);
    report.setVisible(QStringLiteral("CMI"), d.showGlobalCorrection);
    if (d.showGlobalCorrection) {
        report.setText(QStringLiteral("TCMI"), translator.text(120));
        report.setText(QStringLiteral("CMI"), translator.text(d.globalCorrection ? 68 : 69));
    }

    // Captions: the field, its catalogue text, and whether a colon follows.
    struct Caption {
        const char* field;
        int id;
        bool colon;
    };
    static const Caption captions[] = {
        {"TReprog", 126, true},       {"TBorrados", 127, true},    {"TFinBateria", 141, true},
        {"TIntervalos", 128, true},   {"TNotas", 129, false},      {"TContadoresTot", 121, false},
        {"TSobrepasadas", 122, true}, {"TPasadasVei", 123, true},  {"TSensorInact", 124, false},
        {"TBorrados2", 125, false},   {"TOctavas", 117, true},     {"TSesiones", 116, true},
        {"TLunes", 70, true},         {"TMartes", 71, true},       {"TMiercoles", 72, true},
        {"TJueves", 73, true},        {"TViernes", 74, true},      {"TSabado", 75, true},
        {"TDomingo", 76, true},       {"TIdioma", 1, false},       {"TCambioHora", 90, false},
        {"TTempsLeq", 10, false},     {"TMFast", 77, false},       {"TTiempoAten", 80, true},
        {"TipAct", 118, false},       {"TipActVei", 119, false},   {"NumeroRings", 130, false},
        {"Normativa", 113, true},     {"THorarioNoche", 99, true}, {"THorarioDia", 98, true},
        {"TNivelNoche", 114, true},   {"TNivelDia", 114, true},    {"TNivelNitVei", 115, true},
        {"TNivelDiaVei", 115, true},  {"TNSerie", 2, false},       {"TContacto", 5, false},
        {"TLocal", 6, false},         {"TVersion", 3, false},      {"TFecha", 4, false},
        {"TDireccion", 7, false},     {"TPoblacion", 8, false},    {"TTelefono", 9, false},
    };
    for (const Caption& c : captions)
        report.setText(QLatin1String(c.field), c.colon ? withColon(translator, c.id) : translator.text(c.id));
}

Result<RenderedReport> buildProgrammingReport(Database& db, const Translator& translator, const QString& templatePath,
                                              qint32 serial, const QString& firmware, const QString& footer)
{
    auto report = loadWithProgrammingPart(db, translator, templatePath, QStringLiteral("TVQ52_1"), serial, firmware, footer);
    if (!report)
        return report.error();
    return renderWithProof(db, translator, **report, storedSources(db), {ReportKind::Programming, serial, {}, {}, {}});
}

Result<std::unique_ptr<Report>> loadWithProgrammingPart(Database& db, const Translator& translator,
                                                        const QString& templatePath, const QString& reportName,
                                                        qint32 serial, const QString& firmware, const QString& footer)
{
    // The template first: a missing one leaves the memo as it was.
    auto loaded = Report::load(templatePath, reportName);
    if (!loaded)
        return loaded.error();
    auto data = readProgrammingReportData(db, serial, firmware);
    if (!data)
        return data.error();
    data->footerText = footer;
    fillProgrammingFields(**loaded, translator, *data);
    return loaded;
}

} // namespace tvq52
