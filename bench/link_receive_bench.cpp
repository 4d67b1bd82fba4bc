// CPU cost of the link: checking a 377-byte frame once its bytes have
// arrived, and the processor time spent waiting on a unit that says nothing.
// Targets of a full run: the check of a 377-byte frame at most 5 us of CPU,
// the whole ReceiveFrame of one whose bytes are waiting at most 50 us, and a
// wait on a silent unit at most 1% of a core (it sleeps in the event loop).
#include "link/clock.h"
#include "link/device_link.h"
#include "link/frame.h"
#include "link/frame_receiver.h"
#include "link/link_timer.h"
#include "link/memory_line.h"
#include "link/serial_line.h"
#include "sim_process.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <benchmark/benchmark.h>

#include "bench_support.h"
#include <ctime>

using namespace tvq52;

namespace {

const QByteArray kFrame377 = completeFrame(0x08, QByteArray(371, '\x5A'));

void BM_FrameReceiverChecks377Bytes(benchmark::State& state)
{
    std::array<std::uint8_t, kFrameBufferSize> buffer{};
    for (auto _ : state) {
        FrameReceiver rx(buffer.data(), buffer.size());
        FrameReceiver::Status s = FrameReceiver::Status::NeedMore;
        for (char c : kFrame377)
            s = rx.feed(std::uint8_t(c));
        if (s != FrameReceiver::Status::Complete)
            state.SkipWithError("frame not accepted");
        benchmark::DoNotOptimize(buffer);
    }
}
BENCHMARK(BM_FrameReceiverChecks377Bytes);

// The whole ReceiveFrame, bytes already waiting on the line.
void BM_ReceiveFrame377BytesWaiting(benchmark::State& state)
{
    ScaledClock clock;
    MemoryLine line(clock);
    (void)line.open();
    DeviceLink device({}, line, clock);
    LinkTimer timer(clock, 5000);
    for (auto _ : state) {
        state.PauseTiming();
        line.deliver(kFrame377);
        state.ResumeTiming();
        if (!device.ReceiveFrame(timer))
            state.SkipWithError("frame not received");
    }
}
BENCHMARK(BM_ReceiveFrame377BytesWaiting);

// A silent unit on a real pseudo-terminal (the simulator told never to
// answer), or on the in-memory line when the simulator is not built.
void BM_WaitOnSilentUnit(benchmark::State& state)
{
    const QString simulator = QCoreApplication::applicationDirPath() + QStringLiteral("/tvq52-sim");
    std::unique_ptr<sim::SimProcess> sim;
    std::unique_ptr<Line> line;
    if (QFileInfo(simulator).isExecutable()) {
        sim = std::make_unique<sim::SimProcess>(simulator, QStringList{"--fault", "silent"});
        if (sim->start()) {
            auto serial = std::make_unique<SerialLine>();
            serial->setDeviceName(sim->devicePath());
            line = std::move(serial);
        }
    }
    if (!line)
        line = std::make_unique<MemoryLine>(systemClock());
    if (!line->open()) {
        state.SkipWithError("cannot open the line");
        return;
    }
    DeviceLink device({}, *line, systemClock());
    // A quick run waits a tenth of the time.
    LinkTimer timer(systemClock(), bench::verdict().size(1000, 100));
    double cpu = 0;
    double wall = 0;
    for (auto _ : state) {
        const double c0 = bench::cpuSeconds();
        const qint64 w0 = systemClock().elapsedMs();
        static_cast<void>(device.ReceiveFrame(timer)); // a time-out is measured too
        cpu += bench::cpuSeconds() - c0;
        wall += double(systemClock().elapsedMs() - w0) / 1000.0;
    }
    state.counters["cpu_percent_of_a_core"] = wall > 0 ? 100.0 * cpu / wall : 0;
    state.SetLabel(sim ? "pty" : "memory");
}
BENCHMARK(BM_WaitOnSilentUnit)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    return bench::runBenchmarks(argc, argv, {},
                                {{"BM_FrameReceiverChecks377Bytes", "cpu_us", 5.0},
                                 {"BM_ReceiveFrame377BytesWaiting", "cpu_us", 50.0},
                                 {"BM_WaitOnSilentUnit", "cpu_percent_of_a_core", 1.0}});
}
