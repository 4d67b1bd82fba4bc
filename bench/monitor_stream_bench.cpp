// The monitor window on a stream of 20 readings a second (the unit answers
// each acknowledgement at once; the window pauses 50 ms before it). Targets:
// the stream keeps at least 18 readings a second, and the program spends at
// most 5% of a core on it.
#include "app/app_context.h"
#include "app/exchange_sessions.h"
#include "core/prompter.h"
#include "link/clock.h"
#include "link/frame.h"
#include "link/memory_line.h"
#include "monitor/gui/monitor_window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>

#include "bench_support.h"
#include <ctime>

using namespace tvq52;

namespace {

QByteArray reading(int k)
{
    QByteArray p("\x07\x03\x0a\x15\x05\x02\x01\x01\x00\x00\x00", 11);
    const int level = 650 + (k * 37) % 500;
    p.append(char(level >> 8));
    p.append(char(level & 0xFF));
    p.append(char(k % 5 == 0 ? 12 : 0));
    return completeFrame(0x09, p);
}

void BM_MonitorStream20PerSecond(benchmark::State& state)
{
    const int readings = bench::verdict().size(int(state.range(0)), 20);
    QTemporaryDir dir;
    AppContext ctx(dir.path());
    bench::QuietPrompter prompter;
    Clock& clock = systemClock();
    MemoryLine line(clock);
    MonitorWindow window(ctx.translator, prompter, [&](Line*, Clock*) {
        return openExchangeSession(ctx, {&line, &clock, {}});
    });
    int sent = 0;
    // The stream is timed from its first reading to its last: the unit's
    // identification before it (a second's pause of its own) is no streaming.
    QElapsedTimer wall;
    std::clock_t cpuStart = 0;
    qint64 lastNs = 0;
    line.onWrite([&](const QByteArray& bytes) {
        const QByteArray& w = line.written();
        if (w.endsWith(identityRequest() + char(0x06)))
            line.deliver(completeFrame(0x01,
                                       QByteArray("\x2a\x04\x00"
                                                  "004711\x01",
                                                  10)));
        else if (w.endsWith(completeFrame(0x09)) || (bytes == QByteArray(1, char(kAck)) && w.size() > 12)) {
            if (sent == 0) {
                wall.start();
                cpuStart = std::clock();
            }
            lastNs = wall.nsecsElapsed();
            line.deliver(reading(sent++));
        }
    });
    double cpuPercent = 0, rate = 0;
    for (auto _ : state) {
        sent = 0;
        line.clearWritten();
        QTimer::singleShot(0, [&] { window.findChild<QPushButton*>(QStringLiteral("SSCommandRun"))->click(); });
        std::function<void()> poll = [&] {
            if (sent < readings) {
                QTimer::singleShot(100, poll);
                return;
            }
            window.stop();
            const double seconds = wall.nsecsElapsed() / 1e9;
            cpuPercent = 100.0 * double(std::clock() - cpuStart) / CLOCKS_PER_SEC / seconds;
            rate = (sent - 1) / (double(lastNs) / 1e9);
            QTimer::singleShot(200, [&] { window.close(); });
        };
        QTimer::singleShot(100, poll);
        window.runFor(nullptr, {}, 4711);
    }
    state.counters["readings"] = sent;
    state.counters["readings_per_s"] = rate;
    state.counters["cpu_percent"] = cpuPercent;
}
BENCHMARK(BM_MonitorStream20PerSecond)->Arg(200)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv)
{
    return bench::runBenchmarks(argc, argv, {},
                                {{"BM_MonitorStream20PerSecond", "cpu_percent", 5.0},
                                 {"BM_MonitorStream20PerSecond", "readings_per_s", 18.0, false}});
}
