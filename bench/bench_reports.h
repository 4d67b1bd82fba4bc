#pragma once

// What the report benchmarks share: their record counts, their targets and
// the peak resident memory they judge.

#include "bench_support.h"

#include <QStringList>
#include <fstream>
#include <string>
#include <vector>

namespace tvq52::bench {

// Starts the peak over from what is resident now, so that each step's peak
// is its own; false where the kernel does not allow it.
inline bool resetPeakResident()
{
    std::ofstream refs("/proc/self/clear_refs");
    refs << "5";
    refs.flush();
    return bool(refs);
}

// The record counts measured: 10,000 and 100,000; about 2,000 in a quick
// run; only N with `--records N`, which no target judges.
inline std::vector<int> reportRecordCounts(const Verdict& verdict, const QStringList& arguments)
{
    const qsizetype at = arguments.indexOf(QStringLiteral("--records"));
    if (at > 0)
        return {arguments.value(at + 1).toInt()};
    return verdict.size(std::vector<int>{10000, 100000}, std::vector<int>{2000});
}

// A report to PDF: 10,000 records in under 5 s; 100,000 in under 30 s and
// under 200 MB of peak resident memory.
inline void judgeReport(Verdict& verdict, const QString& what, int records, double ms, double peakMb)
{
    if (records == 10000)
        verdict.atMost(what + QStringLiteral(", time"), ms, 5000, "ms");
    if (records == 100000) {
        verdict.atMost(what + QStringLiteral(", time"), ms, 30000, "ms");
        verdict.atMost(what + QStringLiteral(", peak resident"), peakMb, 200, "MB");
    }
}

} // namespace tvq52::bench
