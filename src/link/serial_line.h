#pragma once

#include "link/line.h"

#include <QSerialPort>

namespace tvq52 {

// The line over a real serial device or a pseudo-terminal.
class SerialLine : public Line {
public:
    SerialLine();
    ~SerialLine() override;

    void setDeviceName(const QString& device) override;
    QString deviceName() const override;
    void setBaudRate(int baud) override;

    bool isOpen() const override;
    bool open() override;
    void close() override;
    QString errorString() const override;

    qint64 bytesAvailable() const override;
    int readByte() override;
    QByteArray read(qint64 maxBytes) override;
    void write(const QByteArray& bytes) override;

    void discardInput() override;
    void discardOutput() override;

private:
    QSerialPort port_;
    QString device_; // as configured; the port shortens /dev/ names
    QString error_;
};

} // namespace tvq52
