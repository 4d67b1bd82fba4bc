#include "app/app_context.h"
#include "app/gui/window_needs.h"
#include "bench_database.h"
#include "core/prompter.h"
#include "db/database.h"
#include "db/store.h"
#include "programming/gui/programming_window.h"
#include "programming/programming_browser.h"
#include "programming/programming_store.h"

#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include "bench_support.h"

using namespace tvq52;

namespace {

// 10,000 in a full run.
int units()
{
    return bench::verdict().size(10000, 500);
}

// A database with 10,000 programmed units, each with its 30 intervals.
struct Fleet {
    QTemporaryDir dir;
    AppContext ctx{dir.path()};
    std::unique_ptr<Store> store;

    Fleet()
    {
        const QString path = dir.filePath(QStringLiteral("tvq52.db"));
        ctx.db = bench::freshDatabase(path);
        store = std::make_unique<Store>(*ctx.db);
        ProgIntervals intervals = unusedIntervals();
        intervals[0] = {QStringLiteral("01/02/10"), QStringLiteral("10:00"), QStringLiteral("03/02/10"),
                        QStringLiteral("12:00")};
        (void)inTransaction(*store, [&]() -> Status {
            for (int i = 1; i <= units(); ++i) {
                ProgrammingRecord r = defaultProgramming(QDate(2010, 1, 1).addDays(i % 900));
                r.serial = 100000 + i * 7;
                r.venue = QStringLiteral("Local %1").arg(i);
                r.town = i % 2 ? QStringLiteral("Girona") : QStringLiteral("Lleida");
                r.version = QStringLiteral("4.0");
                // One transaction for the whole fleet; the save opens none of its own here.
                Row row = programmingRow(r);
                if (Status added = store->insert(QStringLiteral("Programacion"), row); !added)
                    return added;
                for (int k = 1; k <= kIntervalCount; ++k) {
                    Row in;
                    in.set(QStringLiteral("LNumeroSerie"), r.serial);
                    in.set(QStringLiteral("ByIntervalo"), k);
                    in.set(QStringLiteral("TDiaEmpiezaInt"), intervals[k - 1].startDay);
                    in.set(QStringLiteral("THoraEmpiezaInt"), intervals[k - 1].startTime);
                    in.set(QStringLiteral("TDiaTerminaInt"), intervals[k - 1].endDay);
                    in.set(QStringLiteral("THoraTerminaInt"), intervals[k - 1].endTime);
                    if (Status added = store->insert(QStringLiteral("IntervaloInhabil"), in); !added)
                        return added;
                }
            }
            return {};
        });
    }
};

Fleet& fleet()
{
    static Fleet f;
    return f;
}

// One step forward and the load of the record reached, wrapping at the end.
void BM_NextRecordStep(benchmark::State& state)
{
    Fleet& f = fleet();
    ProgrammingBrowser browser(*f.ctx.db);
    qint32 serial = *serialFound(browser.first());
    for (auto _ : state) {
        auto next = serialFound(browser.next(serial));
        serial = next ? *next : *serialFound(browser.first());
        benchmark::DoNotOptimize(loadProgramming(*f.store, serial));
    }
}
BENCHMARK(BM_NextRecordStep)->Unit(benchmark::kMillisecond);

void BM_PreviousRecordStep(benchmark::State& state)
{
    Fleet& f = fleet();
    ProgrammingBrowser browser(*f.ctx.db);
    qint32 serial = 100000 + units() * 7;
    for (auto _ : state) {
        auto previous = serialFound(browser.previous(serial));
        serial = previous ? *previous : 100000 + units() * 7;
        benchmark::DoNotOptimize(loadProgramming(*f.store, serial));
    }
}
BENCHMARK(BM_PreviousRecordStep)->Unit(benchmark::kMillisecond);

// The whole button press in the window: query, load and fill every field.
void BM_WindowNextButton(benchmark::State& state)
{
    Fleet& f = fleet();
    bench::QuietPrompter prompter;
    ProgrammingWindow window(programmingWindowNeeds(f.ctx, prompter));
    window.show();
    auto* next = window.findChild<QPushButton*>(QStringLiteral("SSCommandSiguiente"));
    for (auto _ : state)
        next->click();
}
BENCHMARK(BM_WindowNextButton)->Unit(benchmark::kMillisecond);

void BM_SearchVenue(benchmark::State& state)
{
    Fleet& f = fleet();
    ProgrammingBrowser browser(*f.ctx.db);
    const SearchField venue = *searchFieldOf(QStringLiteral("MaskLocal"));
    for (auto _ : state) {
        const auto serial = serialFound(browser.findContaining(venue, QStringLiteral("Local 9999")));
        benchmark::DoNotOptimize(loadProgramming(*f.store, *serial));
    }
}
BENCHMARK(BM_SearchVenue)->Unit(benchmark::kMillisecond);

void BM_SearchSerialNoMatch(benchmark::State& state)
{
    Fleet& f = fleet();
    ProgrammingBrowser browser(*f.ctx.db);
    const SearchField serial = *searchFieldOf(QStringLiteral("MaskNumeroSerie"));
    for (auto _ : state)
        benchmark::DoNotOptimize(browser.findContaining(serial, QStringLiteral("99999")));
}
BENCHMARK(BM_SearchSerialNoMatch)->Unit(benchmark::kMillisecond);

void BM_SearchDate(benchmark::State& state)
{
    Fleet& f = fleet();
    ProgrammingBrowser browser(*f.ctx.db);
    const SearchField date = *searchFieldOf(QStringLiteral("MaskFecha"));
    for (auto _ : state)
        benchmark::DoNotOptimize(browser.findContaining(date, QStringLiteral("31/12/11")));
}
BENCHMARK(BM_SearchDate)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    // A step or a search is a click; it should feel immediate.
    return bench::runBenchmarks(argc, argv, {},
                                {{"BM_NextRecordStep", "real_ms", 20.0},
                                 {"BM_PreviousRecordStep", "real_ms", 20.0},
                                 {"BM_WindowNextButton", "real_ms", 50.0},
                                 {"BM_SearchVenue", "real_ms", 100.0},
                                 {"BM_SearchSerialNoMatch", "real_ms", 100.0},
                                 {"BM_SearchDate", "real_ms", 100.0}});
}
