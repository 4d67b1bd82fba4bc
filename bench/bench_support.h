#pragma once

#include "core/prompter.h"

#include <QApplication>
#include <QByteArray>
#include <QFile>
#include <QString>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace tvq52::bench {

// Answers every prompt as a user who presses Enter.
class QuietPrompter : public Prompter {
public:
    Answer message(const Message&) override { return Answer::Ok; }
    std::optional<QString> input(const QString&, const QString&, const QString& d, int) override { return d; }
    QString openFile(const QString&, const QStringList&, const QString&) override { return {}; }
    QString saveFile(const QString&, const QStringList&, const QString&) override { return {}; }
};

inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

// A figure of /proc/self/status in KiB: "VmRSS" now, "VmHWM" the peak.
inline qint64 statusKb(const char* key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(key) + ':';
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// The process's peak resident memory in MB (VmHWM), 0 when unknown.
inline double peakResidentMb()
{
    const qint64 kb = statusKb("VmHWM");
    return kb < 0 ? 0.0 : double(kb) / 1024.0;
}

// Processor seconds of this process (RUSAGE_SELF) or of its finished
// children (RUSAGE_CHILDREN): a loaded machine stretches wall times, less these.
inline double cpuSeconds(int who = RUSAGE_SELF)
{
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The shorter of two wall times, a failed one (negative) aside. A bench
// that sets our work against a peer times each side in turn a few times and
// compares their shortest: the runs the rest of the machine disturbed least.
inline double shortest(double kept, double seconds)
{
    if (seconds <= 0)
        return kept;
    return kept <= 0 ? seconds : std::min(kept, seconds);
}

// How a benchmark program judges its figures. A full run measures at the
// stated sizes and exits 1 when a figure misses its target. `--quick` (or
// TVQ52_BENCH_QUICK=1), as the test run uses it, measures small sizes so that
// a broken benchmark fails the build, and judges no figure: small sizes and a
// loaded test machine say nothing about speed. A step that fails is a failure
// in both runs.
class Verdict {
public:
    // Takes `--quick` out of the arguments so that later parsers never see it.
    Verdict(int& argc, char** argv)
    {
        quick_ = qEnvironmentVariableIntValue("TVQ52_BENCH_QUICK") != 0;
        int kept = 1;
        for (int i = 1; i < argc; ++i) {
            if (std::strcmp(argv[i], "--quick") == 0)
                quick_ = true;
            else
                argv[kept++] = argv[i];
        }
        argc = kept;
        argv[argc] = nullptr;
    }

    bool quick() const { return quick_; }
    template <class T> T size(T full, T quick) const { return quick_ ? quick : full; }
    // `--rows N` when given (after QCoreApplication exists), else size(full, quick).
    int rows(int full, int quick) const
    {
        const QStringList args = QCoreApplication::arguments();
        if (const qsizetype i = args.indexOf(QStringLiteral("--rows")); i > 0 && i + 1 < args.size())
            return args[i + 1].toInt();
        return size(full, quick);
    }

    // Lower is better.
    void atMost(const QString& what, double measured, double limit, const char* unit)
    {
        judge(what, measured, limit, unit, measured <= limit, "at most");
    }
    // Higher is better.
    void atLeast(const QString& what, double measured, double limit, const char* unit)
    {
        judge(what, measured, limit, unit, measured >= limit, "at least");
    }
    // A step the figures depend on did not work: the run proves nothing.
    void failed(const QString& what)
    {
        std::printf("FAILED       %s\n", qPrintable(what));
        std::fflush(stdout);
        broken_ = true;
    }

    bool missed() const { return missed_; }
    bool broken() const { return broken_; }
    int exitCode() const { return broken_ || missed_ ? 1 : 0; }

private:
    void judge(const QString& what, double measured, double limit, const char* unit, bool met, const char* sense)
    {
        const char* verdict = quick_ ? "not judged  " : met ? "target met  " : "TARGET MISSED";
        std::printf("%s %s: %.4g %s (target %s %.4g %s)\n", verdict, qPrintable(what), measured, unit, sense, limit,
                    unit);
        std::fflush(stdout);
        if (!quick_ && !met)
            missed_ = true;
    }

    bool quick_ = false;
    bool missed_ = false;
    bool broken_ = false;
};

// A target on one Google Benchmark, found by its name.
struct RunTarget {
    std::string benchmark;
    // "real_ms", "cpu_us", or the name of one of the run's counters.
    std::string figure;
    double limit;
    bool atMost = true;
};

namespace detail {

class CollectingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs) {
            if (r.error_occurred) {
                errors.push_back(r.benchmark_name() + ": " + r.error_message);
                continue;
            }
            std::map<std::string, double>& figures = byName[r.benchmark_name()];
            const double iterations = r.iterations > 0 ? double(r.iterations) : 1.0;
            figures["real_ms"] = r.real_accumulated_time / iterations * 1e3;
            figures["cpu_us"] = r.cpu_accumulated_time / iterations * 1e6;
            for (const auto& [name, counter] : r.counters)
                figures[name] = counter.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, std::map<std::string, double>> byName;
    std::vector<std::string> errors;
};

} // namespace detail

inline Verdict*& currentVerdict()
{
    static Verdict* v = nullptr;
    return v;
}

// The run's verdict, for a benchmark that picks its sizes.
inline const Verdict& verdict()
{
    return *currentVerdict();
}

// A benchmark program's main: windows offscreen, `setup` before the runs,
// each target judged after them. A quick run gives each benchmark a moment
// only.
inline int runBenchmarks(int argc, char** argv, const std::function<void()>& setup = {},
                         const std::vector<RunTarget>& targets = {})
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    Verdict v(argc, argv);
    currentVerdict() = &v;
    QApplication app(argc, argv);
    if (setup)
        setup();
    std::vector<char*> args(argv, argv + argc);
    bool filtered = false;
    for (char* a : args)
        filtered = filtered || std::strncmp(a, "--benchmark_filter", 18) == 0;
    static char shortTime[] = "--benchmark_min_time=0.01";
    if (v.quick())
        args.push_back(shortTime);
    int count = int(args.size());
    args.push_back(nullptr);
    benchmark::Initialize(&count, args.data());
    detail::CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    for (const std::string& e : reporter.errors)
        v.failed(QString::fromStdString(e));
    for (const RunTarget& t : targets) {
        bool found = false;
        for (const auto& [name, figures] : reporter.byName) {
            // "Name" is the benchmark and its arguments ("Name/200"), never "NameLonger".
            if (name.rfind(t.benchmark, 0) != 0
                || (name.size() > t.benchmark.size() && name[t.benchmark.size()] != '/'))
                continue;
            const auto f = figures.find(t.figure);
            if (f == figures.end())
                continue;
            found = true;
            const QString what = QString::fromStdString(name + " " + t.figure);
            const char* unit = t.figure == "real_ms" ? "ms" : t.figure == "cpu_us" ? "us" : "";
            if (t.atMost)
                v.atMost(what, f->second, t.limit, unit);
            else
                v.atLeast(what, f->second, t.limit, unit);
        }
        // A filter leaves benchmarks out on purpose; otherwise a lost one is a fault.
        if (!found && !filtered && reporter.errors.empty())
            v.failed(QString::fromStdString("no figure " + t.figure + " from " + t.benchmark));
    }
    currentVerdict() = nullptr;
    return v.exitCode();
}

} // namespace tvq52::bench
