// The report window's reports from the installed templates: 10,000 interval
// records to PDF (target: under 5 s in all), the exceedance summary over the
// same two weeks, and the CSV of the interval grid. Prints its figures.
#include "bench_database.h"
#include "db/database.h"
#include "db/store.h"
#include "i18n/loc_guru.h"
#include "records/record_grid_model.h"
#include "reports/csv_writer.h"
#include "reports/recorded_report.h"

#include <QBuffer>
#include <QDate>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdio>

using namespace tvq52;

namespace {

constexpr int kRecords = 10000;
constexpr qint32 kSerial = 4242;
const QDateTime kFirst(QDate(2024, 1, 1), QTime(0, 0), Qt::UTC);

void fill(Database& db)
{
    Store store(db);
    Row unit;
    unit.set(QStringLiteral("LNumeroSerie"), kSerial);
    unit.set(QStringLiteral("TLocal"), QStringLiteral("Sala Bench"));
    unit.set(QStringLiteral("THoraEmpiezaNoche"), QStringLiteral("23:00"));
    unit.set(QStringLiteral("THoraTerminaNoche"), QStringLiteral("07:00"));
    store.insert(QStringLiteral("Programacion"), unit);
    QSqlDatabase c = db.connection();
    c.transaction();
    QSqlQuery q(c);
    q.prepare(QStringLiteral(
        "INSERT INTO Intervalos (LNumeroSerie, DFechaInicio, THoraInicio, DFechaFinal, THoraFinal, ByTLeq, "
        "SLeqLocal, SLeqVecino, SMaxFast, SMaxLeq1min, SMinLeq1min, SL1, SL5, SL10, SL50, SL90, ByNivelLeqLocal, "
        "ByNivelLeqVecino, ByNivelMFast, ByENA, ByDNA, ByLineaInsuficiente, BoProgramacion, IPasadasLocal, "
        "IPasadasVecino, IPasMaxFast, IE3, IDesco) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)"));
    QDateTime t = kFirst;
    for (int i = 0; i < kRecords; ++i, t = t.addSecs(120)) {
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

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tvq52.db"));
    auto db = bench::freshDatabase(path);
    fill(*db);
    LocGuru guru;
    const QDateTime last = kFirst.addSecs(qint64(kRecords - 1) * 120);

    for (const auto kind : {RecordedReportKind::Intervals, RecordedReportKind::Exceedances}) {
        QElapsedTimer timer;
        timer.start();
        const RecordedReportResult r =
            buildRecordedReport(*db, guru, {kind, kSerial, kFirst, last, QString(), QStringLiteral(TVQ52_ASSET_DIR)});
        if (!r || !r->has_value())
            return std::fprintf(stderr, "report %d failed\n", int(kind)), 1;
        const RenderedReport& report = **r;
        const qint64 layoutMs = timer.restart();
        const QString pdf = dir.filePath(QStringLiteral("report.pdf"));
        if (!report.writePdf(pdf))
            return std::fprintf(stderr, "pdf failed\n"), 1;
        std::printf(
            "%s report, %d intervals: %d pages, read+script+layout %lld ms, PDF %lld ms, total %lld ms "
            "(target < 5000 ms), %lld KiB\n",
            kind == RecordedReportKind::Intervals ? "interval" : "exceedance", kRecords, report.pageCount(), layoutMs,
            timer.elapsed(), layoutMs + timer.elapsed(), QFileInfo(pdf).size() / 1024);
    }

    QElapsedTimer timer;
    timer.start();
    RecordGridModel grid(*db, RecordGrid::Intervals, guru);
    if (!grid.load(kSerial))
        return std::fprintf(stderr, "grid failed\n"), 1;
    QBuffer csv;
    csv.open(QIODevice::WriteOnly);
    writeGridCsv(csv, grid, guru);
    std::printf("interval grid CSV, %d rows: %lld ms, %lld KiB\n", grid.rowCount(), timer.elapsed(),
                qint64(csv.size()) / 1024);
    return 0;
}
