#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace tvq52::sim {

// Runs tvq52-sim as a separate program, for end-to-end tests and the demo:
// starts it, reads the device path it prints, and stops it when destroyed.
class SimProcess {
public:
    SimProcess(const QString& program, const QStringList& arguments);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Waits (bounded) for the device path, or the paths of `lines` lines;
    // false with error() set on failure.
    bool start(int timeoutMs = 10000, int lines = 1);
    void stop();
    QString devicePath() const { return device_; }
    QStringList devicePaths() const { return devices_; }
    QString error() const { return error_; }
    // What the simulator logged (with --verbose, its traffic).
    QString log();

private:
    QProcess process_;
    QString program_;
    QStringList arguments_;
    QString device_;
    QStringList devices_;
    QString error_;
    QByteArray stderr_;
};

} // namespace tvq52::sim
