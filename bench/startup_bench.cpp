// Start-up to the main window shown, with an empty database and with a
// database holding a million interval records.
#include "app/data_folder.h"
#include "app/gui/application_shell.h"
#include "app/gui/main_window.h"
#include "db/database.h"
#include "db/store.h"

#include <QApplication>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include "bench_support.h"
#include <memory>

using namespace tvq52;

namespace {

void fillIntervals(const QString& home, int rows)
{
    auto db = std::move(Database::openSqlite(databasePath(home))).value();
    QSqlDatabase c = db->connection();
    c.transaction();
    QSqlQuery q(c);
    q.prepare(QStringLiteral(
        "INSERT INTO \"Intervalos\" (\"LNumeroSerie\", \"DFechaInicio\", \"THoraInicio\", \"DFechaFinal\", "
        "\"THoraFinal\", \"SLeqLocal\", \"SLeqVecino\", \"ByTLeq\") VALUES (?, ?, ?, ?, ?, ?, ?, 5)"));
    const QDate start(2020, 1, 1);
    for (int i = 0; i < rows; ++i) {
        const int serial = 1000 + i % 20;
        const int slot = i / 20;
        const QDate d = start.addDays(slot / 288);
        const QString t = QStringLiteral("%1:%2")
                              .arg(slot % 288 / 12, 2, 10, QLatin1Char('0'))
                              .arg(slot % 12 * 5, 2, 10, QLatin1Char('0'));
        q.addBindValue(serial);
        q.addBindValue(d.toString(Qt::ISODate));
        q.addBindValue(t);
        q.addBindValue(d.toString(Qt::ISODate));
        q.addBindValue(t);
        q.addBindValue(80.5);
        q.addBindValue(40.5);
        q.exec();
    }
    c.commit();
}

void startUp(benchmark::State& state, const QString& home)
{
    bench::QuietPrompter prompter;
    for (auto _ : state) {
        ApplicationShell shell(home, {}, &prompter);
        shell.start();
        QApplication::processEvents();
        benchmark::DoNotOptimize(shell.mainWindow()->isVisible());
        state.PauseTiming();
        shell.mainWindow()->unload();
        state.ResumeTiming();
    }
}

std::unique_ptr<QTemporaryDir> emptyHome;
std::unique_ptr<QTemporaryDir> fullHome;

void BM_StartupEmptyDatabase(benchmark::State& state)
{
    startUp(state, emptyHome->path());
}

void BM_StartupMillionIntervals(benchmark::State& state)
{
    startUp(state, fullHome->path());
}

} // namespace

BENCHMARK(BM_StartupEmptyDatabase)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_StartupMillionIntervals)->Unit(benchmark::kMillisecond)->MinTime(2.0);

int main(int argc, char** argv)
{
    return bench::runBenchmarks(argc, argv, [] {
        // Kept for the whole run; removed when the program ends.
        emptyHome = std::make_unique<QTemporaryDir>();
        fullHome = std::make_unique<QTemporaryDir>();
        (void)provisionDataFolder(emptyHome->path(), findAssetFolder());
        (void)provisionDataFolder(fullHome->path(), findAssetFolder());
        fillIntervals(fullHome->path(), 1000000);
    });
}
