// An interval listing to PDF: the record source read, the level script run
// on every row, the pages laid out, the PDF written. Targets: 10,000 records
// in under 5 s; 100,000 in under 30 s and under 200 MB of peak resident
// memory. `--records N` measures N records only, judging nothing.
#include "bench_database.h"
#include "bench_reports.h"
#include "db/database.h"
#include "i18n/translator.h"
#include "records/recorded_data.h"
#include "reports/level_script.h"
#include "reports/report.h"
#include "reports/stored_sources.h"

#include <QDate>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace tvq52;

namespace {

constexpr qint32 kSerial = 4242;
const QDateTime kFirst = wallClock(QDate(2024, 1, 1), QTime(0, 0));

const char* const kLevels[] = {"SLeqLocal", "SLeqVecino", "SMaxFast", "SMaxLeq1min", "SMinLeq1min",
                               "SL1",       "SL5",        "SL10",     "SL50",        "SL90"};

void fill(Database& db, int records)
{
    QSqlDatabase c = db.connection();
    c.transaction();
    QSqlQuery q(c);
    q.prepare(
        QStringLiteral("INSERT INTO Intervalos (LNumeroSerie, DFechaInicio, THoraInicio, DFechaFinal, THoraFinal, "
                       "SLeqLocal, SLeqVecino, SMaxFast, SMaxLeq1min, SMinLeq1min, SL1, SL5, SL10, SL50, SL90, "
                       "ByNivelLeqLocal, ByNivelLeqVecino, ByENA, ByDNA, ByLineaInsuficiente, BoProgramacion, "
                       "IPasadasLocal, IPasadasVecino, IE3, IDesco) "
                       "VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)"));
    QDateTime t = kFirst;
    for (int i = 0; i < records; ++i, t = t.addSecs(120)) {
        const QDateTime end = t.addSecs(120);
        QVariantList v{kSerial, t.date().toString(Qt::ISODate), t.time().toString(QStringLiteral("HH:mm")),
                       end.date().toString(Qt::ISODate), end.time().toString(QStringLiteral("HH:mm"))};
        for (int l = 0; l < 10; ++l)
            v << double(float(55 + (i * 7 + l * 3) % 700 / 10.0));
        v << 90 << 35 << (i % 50 == 0 ? 255 : i % 3) << 0 << 0 << (i % 100 == 0) << i % 4 << 0 << 0 << 0;
        for (const QVariant& x : v)
            q.addBindValue(x);
        q.exec();
    }
    c.commit();
}

QByteArray intervalTemplate()
{
    QByteArray xml =
        "<reports><report name='Intervals' margins='10 10 10 10' size='7'>"
        "<pageFooter height='6'><field kind='page' text='%1 / %2' x='150' y='1' w='40' h='4' "
        "align='right'/></pageFooter>"
        "<band kind='detail' height='5'><subreport name='IntervalosLeq' x='0' y='0' w='190'>"
        "<band kind='header' height='5' repeat='true'>";
    for (int l = 0; l < 10; ++l)
        xml += QStringLiteral("<field name='T%1' kind='caption' text='%1' x='%2' y='0' w='13' h='5'/>")
                   .arg(QLatin1String(kLevels[l]))
                   .arg(36 + l * 13)
                   .toUtf8();
    xml +=
        "</band><band kind='detail' height='4'>"
        "<field name='D' kind='column' column='DFechaInicio' format='date' x='0' y='0' w='17' h='4'/>"
        "<field name='H' kind='column' column='THoraInicio' x='17' y='0' w='9' h='4'/>"
        "<field name='H2' kind='column' column='THoraFinal' x='26' y='0' w='9' h='4'/>";
    for (int l = 0; l < 10; ++l)
        xml +=
            QStringLiteral("<field name='L%1' kind='computed' column='L%1' x='%2' y='0' w='13' h='4' align='right'/>")
                .arg(QLatin1String(kLevels[l]))
                .arg(36 + l * 13)
                .toUtf8();
    xml +=
        "<field name='E' kind='computed' column='LByENA' x='166' y='0' w='12' h='4'/>"
        "<field name='P' kind='computed' column='LBoProgramacion' x='178' y='0' w='8' h='4'/>"
        "</band></subreport></band></report></reports>";
    return xml;
}

// The listing of the first `records` records to `pdf`; false when a step fails.
bool listing(Database& db, int records, const QString& pdf, bench::Verdict& verdict)
{
    Translator translator;
    bench::resetPeakResident();
    QElapsedTimer total;
    total.start();
    auto loaded = Report::fromXml(intervalTemplate(), QStringLiteral("Intervals"));
    auto script = LevelScript::parse(BuildLevelScript(translator));
    if (!loaded || !script)
        return false;
    Report& report = **loaded;
    ReportPart* list = report.subReport(QStringLiteral("IntervalosLeq"));
    list->setSource(QStringLiteral("intervals"));
    report.bind(QStringLiteral("serial"), kSerial);
    report.bind(QStringLiteral("from"), kFirst);
    report.bind(QStringLiteral("to"), kFirst.addSecs(qint64(records - 1) * 120));
    list->setRowHook(script->hook());

    auto rendered = report.render(storedSources(db));
    if (!rendered)
        return std::fprintf(stderr, "render: %s\n", qPrintable(rendered.error().detail)), false;
    const qint64 layoutMs = total.elapsed();
    const RenderedReport& out = *rendered;
    if (const Status written = out.writePdf(pdf); !written)
        return std::fprintf(stderr, "pdf: %s\n", qPrintable(written.error().detail)), false;
    const qint64 ms = total.elapsed();
    const double peak = bench::peakResidentMb();
    std::printf("interval report, %d records: %d pages, render %lld ms, PDF %lld ms, %lld KiB, peak %.0f MB\n", records,
                out.pageCount(), layoutMs, ms - layoutMs, QFileInfo(pdf).size() / 1024, peak);
    const QString what = QStringLiteral("interval report to PDF, %1 records").arg(records);
    bench::judgeReport(verdict, what, records, double(ms), peak);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    bench::Verdict verdict(argc, argv);
    QGuiApplication app(argc, argv);
    const std::vector<int> sizes = bench::reportRecordCounts(verdict, app.arguments());
    QTemporaryDir dir;
    auto db = bench::freshDatabase(dir.filePath(QStringLiteral("tvq52.db")));
    fill(*db, *std::max_element(sizes.begin(), sizes.end()));
    for (const int records : sizes)
        if (records <= 0 || !listing(*db, records, dir.filePath(QStringLiteral("intervals.pdf")), verdict))
            verdict.failed(QStringLiteral("interval report, %1 records").arg(records));
    return verdict.exitCode();
}
