// The recorded-data grid over a year of 2-minute intervals of one unit:
// how long it takes to show, to re-sort, and how much memory it holds after
// scrolling to the last row. Prints its figures.
#include "bench_database.h"
#include "bench_support.h"
#include "db/database.h"
#include "i18n/translator.h"
#include "records/gui/record_grid_items.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <cstdio>

using namespace tvq52;
using tvq52::bench::must;

namespace {

// 365 days of 2-minute intervals in a full run.
int intervals = 262800;
constexpr qint32 kSerial = 4242;

void fill(Database& db)
{
    QSqlDatabase c = db.connection();
    c.transaction();
    QSqlQuery q(c);
    q.prepare(QStringLiteral(
        "INSERT INTO Intervalos (LNumeroSerie, DFechaInicio, THoraInicio, DFechaFinal, THoraFinal, ByTLeq, "
        "SLeqLocal, SLeqVecino, TTipoActuacionLocal, TTipoActuacionVecino, ByNivelLeqLocal, ByNivelLeqVecino, "
        "SMaxLeq1min, TFechaMaxLeq1min, THoraMaxLeq1min, SMinLeq1min, TFechaMinLeq1min, THoraMinLeq1min, "
        "SMaxFast, ByNivelMFast, IPasMaxFast, SL1, SL5, SL10, SL50, SL90, BoRS232, BoProgramacion, IDesco, "
        "IPasadasLocal, IPasadasVecino, IE3, ByDNA, ByENA, ByLineaInsuficiente) VALUES "
        "(?,?,?,?,?,2,?,?,'Leq125ms','0',80,30,?,?,?,?,?,?,?,90,0,?,?,?,?,?,0,0,0,?,0,0,255,0,0)"));
    const QDateTime first(QDate(2009, 1, 1), QTime(0, 0), Qt::UTC);
    for (int i = 0; i < intervals; ++i) {
        const QDateTime start = first.addSecs(120LL * i);
        const QDateTime end = start.addSecs(120);
        const double level = 60.0 + (i * 37 % 600) / 10.0;
        const QString day = start.date().toString(QStringLiteral("dd/MM/yyyy"));
        const QString minute = start.time().toString(QStringLiteral("HH:mm"));
        const QVariantList values{kSerial,
                                  start.date().toString(Qt::ISODate),
                                  minute,
                                  end.date().toString(Qt::ISODate),
                                  end.time().toString(QStringLiteral("HH:mm")),
                                  level,
                                  level - 30,
                                  level + 2,
                                  day,
                                  minute,
                                  level - 2,
                                  day,
                                  minute,
                                  level + 5,
                                  level + 4,
                                  level + 3,
                                  level + 1,
                                  level - 1,
                                  level - 4,
                                  i % 7};
        for (const QVariant& v : values)
            q.addBindValue(v);
        if (!q.exec())
            qFatal("%s", qPrintable(q.lastError().text()));
    }
    c.commit();
}

void paint(QTableView& view)
{
    view.viewport()->repaint();
    QApplication::processEvents();
}

} // namespace

int main(int argc, char** argv)
{
    bench::Verdict verdict(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    intervals = verdict.size(262800, 20000);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tvq52.db"));
    auto db = bench::freshDatabase(path);
    QElapsedTimer clock;
    clock.start();
    fill(*db);
    std::printf("filled %d intervals in %lld ms\n", intervals, clock.elapsed());
    const qint64 before = bench::statusKb("VmRSS");

    Translator translator;
    QTableView view;
    view.resize(1000, 600);
    view.verticalHeader()->hide();
    view.show();
    QApplication::processEvents();

    constexpr int kRuns = 5;
    qint64 showMs = 0;
    for (int run = 0; run < kRuns; ++run) {
        auto* model = new RecordGridItems(*db, RecordGrid::Intervals, translator, &view);
        clock.restart();
        view.setModel(model);
        must(model->load(kSerial));
        paint(view);
        showMs += clock.elapsed();
        view.setModel(nullptr);
        delete model;
    }
    RecordGridItems model(*db, RecordGrid::Intervals, translator);
    view.setModel(&model);
    must(model.load(kSerial));
    paint(view);
    verdict.atMost(QStringLiteral("show the grid (load + first rows painted), mean"), double(showMs) / kRuns, 300,
                   "ms");

    for (const char* field : {"SLeqLocal", "TFechaMaxLeq1min", "DFechaInicio"}) {
        qint64 sortMs = 0;
        for (int run = 0; run < kRuns; ++run) {
            clock.restart();
            must(model.sortByColumn(model.columnOf(QString::fromLatin1(field))));
            paint(view);
            sortMs += clock.elapsed();
        }
        verdict.atMost(QStringLiteral("sort by %1 (re-query + first rows painted), mean").arg(QLatin1String(field)),
                       double(sortMs) / kRuns, 500, "ms");
    }

    clock.restart();
    view.scrollToBottom();
    paint(view);
    const qint64 bottomMs = clock.elapsed();
    const qint64 after = bench::statusKb("VmRSS");
    std::printf("scroll to the last row: %lld ms; last row starts %s %s\n", bottomMs,
                qPrintable(model.index(model.rowCount() - 1, 0).data().toString()),
                qPrintable(model.index(model.rowCount() - 1, 1).data().toString()));
    verdict.atMost(QStringLiteral("scroll to the last row"), double(bottomMs), 300, "ms");
    std::printf("resident: %.1f MB after filling, %.1f MB after scrolling to the last row (%d rows cached)\n",
                double(before) / 1024.0, double(after) / 1024.0, model.cachedRows());
    // The grid holds pages of rows, not the year.
    verdict.atMost(QStringLiteral("memory the grid added"), double(after - before) / 1024.0, 100, "MB");
    return verdict.exitCode();
}
