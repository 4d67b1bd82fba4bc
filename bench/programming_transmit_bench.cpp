// The programming transmission on the real clock: 377 bytes paced 50 ms
// apart should take 18.85 s and at most 19.2 s, no gap under 50 ms. A quick
// run goes ten times faster, so only that it works is shown.
#include "link/clock.h"
#include "link/device_link.h"
#include "link/frame.h"
#include "link/link_timer.h"
#include "link/memory_line.h"
#include "programming/programming_block.h"
#include "programming/programming_transfer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <benchmark/benchmark.h>

#include "bench_support.h"

using namespace tvq52;

namespace {

void BM_TransmitProgramming377(benchmark::State& state)
{
    ScaledClock quickClock(10.0);
    Clock& clock = bench::verdict().quick() ? quickClock : systemClock();
    MemoryLine line(clock);
    (void)line.open();
    DeviceLink device({}, line, clock);
    LinkTimer timer(clock, kSilenceLimitMs);
    ProgrammingRecord record = defaultProgramming();
    record.version = QStringLiteral("4.0");
    const QByteArray frame = encodeProgrammingFrame(record, unusedIntervals(), "4.0", clock.now());
    line.onWrite([&](const QByteArray&) {
        if (line.written().size() == frame.size())
            line.deliver(QByteArray(1, char(kAck)));
    });
    double longestGap = 0, shortestGap = 1e9, seconds = 0;
    for (auto _ : state) {
        line.clearWritten();
        QElapsedTimer wall;
        qint64 last = -1;
        wall.start();
        const TransmitAnswer answer = sendProgramming(device, timer, frame, [&](int sent, int, qint64) {
            const qint64 now = wall.nsecsElapsed();
            if (last >= 0 && sent < frame.size()) {
                longestGap = std::max(longestGap, (now - last) / 1e6);
                shortestGap = std::min(shortestGap, (now - last) / 1e6);
            }
            last = now;
        });
        // The answer comes at once: what is measured is the pacing.
        seconds = wall.nsecsElapsed() / 1e9;
        if (answer != TransmitAnswer::Accepted)
            state.SkipWithError("the frame was not acknowledged");
    }
    state.counters["frame_bytes"] = double(frame.size());
    state.counters["seconds"] = seconds;
    state.counters["target_s"] = frame.size() * 0.050;
    state.counters["gap_min_ms"] = shortestGap;
    state.counters["gap_max_ms"] = longestGap;
}
BENCHMARK(BM_TransmitProgramming377)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv)
{
    return bench::runBenchmarks(argc, argv, {},
                                {{"BM_TransmitProgramming377", "seconds", 19.2},
                                 {"BM_TransmitProgramming377", "gap_min_ms", 50.0, false}});
}
