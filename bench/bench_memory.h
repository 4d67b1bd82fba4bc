#pragma once

#include <fstream>
#include <string>

namespace tvq52::bench {

// The process's peak resident memory in MB (VmHWM), 0 when unknown.
inline double peakResidentMb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

// Starts the peak over from what is resident now, so that each step's peak
// is its own; false where the kernel does not allow it.
inline bool resetPeakResident()
{
    std::ofstream refs("/proc/self/clear_refs");
    refs << "5";
    refs.flush();
    return bool(refs);
}

} // namespace tvq52::bench
