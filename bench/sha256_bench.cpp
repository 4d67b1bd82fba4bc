// The journal's hash: a gigabyte streamed in 1 MiB pieces (as a file's
// digest reads it), and the short lines an import hashes one by one.
// Targets of a full run: at least 1000 MB per second of CPU streamed, a line of 120 bytes
// hashed to hex in at most 1 us of CPU.
#include "core/sha256.h"

#include <benchmark/benchmark.h>

#include "bench_support.h"

using namespace tvq52;

namespace {

void BM_Sha256StreamsAGigabyte(benchmark::State& state)
{
    const QByteArray piece(1 << 20, '\x5A');
    const qint64 pieces = bench::verdict().size(1024, 16);
    // Per second of processor time: the other builds on the machine stretch the wall clock.
    const double cpu0 = bench::cpuSeconds();
    for (auto _ : state) {
        Sha256 hash;
        for (qint64 k = 0; k < pieces; ++k)
            hash.add(piece);
        benchmark::DoNotOptimize(hash.result());
    }
    const double bytes = double(pieces) * double(piece.size()) * double(state.iterations());
    const double cpu = bench::cpuSeconds() - cpu0;
    state.counters["mb_per_s"] = cpu > 0 ? bytes / 1e6 / cpu : 0;
}
BENCHMARK(BM_Sha256StreamsAGigabyte)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Sha256HexOfALine(benchmark::State& state)
{
    QByteArray line(120, 'x');
    int k = 0;
    for (auto _ : state) {
        line[k % line.size()] = char(k);
        ++k;
        benchmark::DoNotOptimize(Sha256::hex(line));
    }
}
BENCHMARK(BM_Sha256HexOfALine);

// A running hash read midway, as the journal reads an entry's lines so far.
void BM_Sha256ResultWhileAdding(benchmark::State& state)
{
    Sha256 hash;
    const QByteArray line(64, 'y');
    for (auto _ : state) {
        hash.add(line);
        benchmark::DoNotOptimize(hash.result());
    }
}
BENCHMARK(BM_Sha256ResultWhileAdding);

} // namespace

int main(int argc, char** argv)
{
    return bench::runBenchmarks(
        argc, argv, {},
        {{"BM_Sha256StreamsAGigabyte", "mb_per_s", 1000.0, false}, {"BM_Sha256HexOfALine", "cpu_us", 1.0}});
}
