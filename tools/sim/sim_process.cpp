#include "sim_process.h"

#include <QDeadlineTimer>

namespace tvq52::sim {

SimProcess::SimProcess(const QString& program, const QStringList& arguments) : program_(program), arguments_(arguments)
{}

SimProcess::~SimProcess()
{
    stop();
}

bool SimProcess::start(int timeoutMs, int lines)
{
    process_.start(program_, arguments_);
    if (!process_.waitForStarted(timeoutMs)) {
        error_ = QStringLiteral("%1 did not start: %2").arg(program_, process_.errorString());
        return false;
    }
    QDeadlineTimer deadline(timeoutMs);
    QByteArray out;
    while (out.count('\n') < std::max(1, lines)) {
        if (deadline.hasExpired() || process_.state() != QProcess::Running) {
            stderr_ += process_.readAllStandardError();
            error_ = QStringLiteral("%1 printed no device path: %2").arg(program_, QString::fromLocal8Bit(stderr_));
            return false;
        }
        process_.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
        out += process_.readAllStandardOutput();
    }
    for (const QByteArray& line : out.split('\n').mid(0, std::max(1, lines)))
        devices_ << QString::fromLocal8Bit(line).trimmed();
    device_ = devices_.front();
    return !devices_.contains(QString());
}

void SimProcess::stop()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(3000)) {
        process_.kill();
        process_.waitForFinished(3000);
    }
}

QString SimProcess::log()
{
    stderr_ += process_.readAllStandardError();
    return QString::fromLocal8Bit(stderr_);
}

} // namespace tvq52::sim
