#pragma once

#include <QFile>
#include <QtGlobal>

namespace tvq52::bench {

// The process's peak resident memory in MB (VmHWM), 0 when unknown.
inline double peakResidentMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text))
        return 0;
    while (!status.atEnd()) {
        const QByteArray line = status.readLine();
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}

// Starts the peak over from what is resident now, so that each step's peak
// is its own; false where the kernel does not allow it.
inline bool resetPeakResident()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}

} // namespace tvq52::bench
