// The report window's reports from the installed templates: the interval
// listing and the exceedance summary to PDF, and the CSV of the interval
// grid. Targets, for each of the three: 10,000 records in under 5 s;
// 100,000 in under 30 s and under 200 MB of peak resident memory. `--records N` measures N records
// only, judging nothing.
#include "bench_database.h"
#include "bench_reports.h"
#include "db/database.h"
#include "db/store.h"
#include "i18n/translator.h"
#include "records/csv_writer.h"
#include "records/record_grid_model.h"
#include "records/recorded_data.h"
#include "reports/recorded_report.h"

#include <QBuffer>
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

// Stores the unit's intervals from the `from`th up to the `to`th.
void fill(Database& db, int from, int to)
{
    if (from == 0) {
        Store store(db);
        Row unit;
        unit.set(QStringLiteral("LNumeroSerie"), kSerial);
        unit.set(QStringLiteral("TLocal"), QStringLiteral("Sala Bench"));
        unit.set(QStringLiteral("THoraEmpiezaNoche"), QStringLiteral("23:00"));
        unit.set(QStringLiteral("THoraTerminaNoche"), QStringLiteral("07:00"));
        (void)store.insert(QStringLiteral("Programacion"), unit);
    }
    QSqlDatabase c = db.connection();
    c.transaction();
    QSqlQuery q(c);
    q.prepare(QStringLiteral(
        "INSERT INTO Intervalos (LNumeroSerie, DFechaInicio, THoraInicio, DFechaFinal, THoraFinal, ByTLeq, "
        "SLeqLocal, SLeqVecino, SMaxFast, SMaxLeq1min, SMinLeq1min, SL1, SL5, SL10, SL50, SL90, ByNivelLeqLocal, "
        "ByNivelLeqVecino, ByNivelMFast, ByENA, ByDNA, ByLineaInsuficiente, BoProgramacion, IPasadasLocal, "
        "IPasadasVecino, IPasMaxFast, IE3, IDesco) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)"));
    QDateTime t = kFirst.addSecs(qint64(from) * 120);
    for (int i = from; i < to; ++i, t = t.addSecs(120)) {
        const QDateTime end = t.addSecs(120);
        QVariantList v{kSerial,
                       t.date().toString(Qt::ISODate),
                       t.time().toString(QStringLiteral("HH:mm")),
                       end.date().toString(Qt::ISODate),
                       end.time().toString(QStringLiteral("HH:mm")),
                       2};
        for (int l = 0; l < 10; ++l)
            v << double(float(55 + (i * 7 + l * 3) % 700 / 10.0));
        v << 90 << 35 << 100 << (i % 50 == 0 ? 255 : i % 3) << 0 << 0 << (i % 100 == 0) << i % 4 << 0 << i % 2 << 0
          << 0;
        for (const QVariant& x : v)
            q.addBindValue(x);
        q.exec();
    }
    c.commit();
}

const char* kindName(RecordedReportKind kind)
{
    return kind == RecordedReportKind::Intervals ? "interval" : "exceedance";
}

// The kind's report over the first `records` intervals to `pdf`; false when a step fails.
bool toPdf(Database& db, RecordedReportKind kind, int records, const QString& pdf, bench::Verdict& verdict)
{
    Translator translator;
    bench::resetPeakResident();
    QElapsedTimer timer;
    timer.start();
    const double cpu = bench::cpuSeconds();
    const QDateTime last = kFirst.addSecs(qint64(records - 1) * 120);
    const RecordedReportResult r =
        buildRecordedReport(db, translator, {kind, kSerial, kFirst, last, QString(), QStringLiteral(TVQ52_ASSET_DIR)});
    if (!r)
        return std::fprintf(stderr, "%s report: %s\n", kindName(kind), qPrintable(r.error().detail)), false;
    if (!r->has_value())
        return std::fprintf(stderr, "%s report: nothing to print\n", kindName(kind)), false;
    const RenderedReport& report = **r;
    const qint64 layoutMs = timer.elapsed();
    if (const Status written = report.writePdf(pdf); !written)
        return std::fprintf(stderr, "pdf: %s\n", qPrintable(written.error().detail)), false;
    const qint64 ms = timer.elapsed();
    const double peak = bench::peakResidentMb();
    // On a busy machine the wall time stretches; the processor time does not.
    std::printf(
        "%s report, %d intervals: %d pages, render %lld ms, PDF %lld ms (processor %.0f ms), %lld KiB, "
        "peak %.0f MB\n",
        kindName(kind), records, report.pageCount(), layoutMs, ms - layoutMs, (bench::cpuSeconds() - cpu) * 1e3,
        QFileInfo(pdf).size() / 1024, peak);
    const QString what = QStringLiteral("%1 report to PDF, %2 records").arg(QLatin1String(kindName(kind))).arg(records);
    bench::judgeReport(verdict, what, records, double(ms), peak);
    return true;
}

// The interval grid of every stored record as CSV, judged as a report.
bool gridCsv(Database& db, bench::Verdict& verdict)
{
    Translator translator;
    bench::resetPeakResident();
    QElapsedTimer timer;
    timer.start();
    RecordGridModel grid(db, RecordGrid::Intervals, translator);
    if (!grid.load(kSerial))
        return std::fprintf(stderr, "grid failed\n"), false;
    QBuffer csv;
    csv.open(QIODevice::WriteOnly);
    if (!writeGridCsv(csv, grid, translator))
        return std::fprintf(stderr, "grid CSV failed\n"), false;
    const qint64 ms = timer.elapsed();
    const double peak = bench::peakResidentMb();
    std::printf("interval grid CSV, %d rows: %lld ms, %lld KiB, peak %.0f MB\n", grid.rowCount(), ms,
                qint64(csv.size()) / 1024, peak);
    bench::judgeReport(verdict, QStringLiteral("interval grid to CSV, %1 records").arg(grid.rowCount()),
                       grid.rowCount(), double(ms), peak);
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
    const QString pdf = dir.filePath(QStringLiteral("report.pdf"));
    // Each size on a store of that many records: the grid shows them all.
    int stored = 0;
    for (const int records : sizes) {
        fill(*db, stored, records);
        stored = std::max(stored, records);
        for (const auto kind : {RecordedReportKind::Intervals, RecordedReportKind::Exceedances})
            if (records <= 0 || !toPdf(*db, kind, records, pdf, verdict))
                verdict.failed(QStringLiteral("%1 report, %2 records").arg(QLatin1String(kindName(kind))).arg(records));
        // After the reports: the grid holds every row, and its memory is its own.
        if (!gridCsv(*db, verdict))
            verdict.failed(QStringLiteral("interval grid CSV"));
    }
    return verdict.exitCode();
}
