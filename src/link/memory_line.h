#pragma once

#include "link/line.h"

#include <QObject>
#include <functional>

namespace tvq52 {

class Clock;

// A line with no device behind it: tests queue the unit's bytes (at once or
// after a pause on the clock) and read back what the link wrote.
class MemoryLine : public Line {
public:
    explicit MemoryLine(Clock& clock);
    ~MemoryLine() override;

    void setDeviceName(const QString& device) override { device_ = device; }
    QString deviceName() const override { return device_; }
    void setBaudRate(int baud) override { baud_ = baud; }
    int baudRate() const { return baud_; }

    bool isOpen() const override { return open_; }
    Status open() override;
    void close() override { open_ = false; }

    qint64 bytesAvailable() const override { return input_.size() - readAt_; }
    int readByte() override;
    QByteArray read(qint64 maxBytes) override;
    void write(const QByteArray& bytes) override;
    void discardInput() override
    {
        input_.clear();
        readAt_ = 0;
    }
    void discardOutput() override {}

    // Bytes the unit sends now, or after `afterMs` of the clock's time.
    void deliver(const QByteArray& bytes, qint64 afterMs = 0);
    // Called with every write, to answer like a unit would.
    void onWrite(std::function<void(const QByteArray&)> responder) { responder_ = std::move(responder); }
    // Makes the next open() fail with `error`.
    void failOpen(const QString& error) { openError_ = error; }

    const QByteArray& written() const { return written_; }
    void clearWritten() { written_.clear(); }
    int openCount() const { return openCount_; }

private:
    Clock& clock_;
    QObject context_; // owns the pending deliveries; they die with the line
    QString device_;
    int baud_ = 19200;
    bool open_ = false;
    QString openError_;
    QByteArray input_;
    qsizetype readAt_ = 0; // bytes of input_ already read
    QByteArray written_;
    int openCount_ = 0;
    std::function<void(const QByteArray&)> responder_;
};

} // namespace tvq52
