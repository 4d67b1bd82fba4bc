#include "link/serial_line.h"

namespace tvq52 {

SerialLine::SerialLine()
{
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    port_.setBaudRate(19200);
    // Pseudo-terminals refuse the modem-control ioctls; that is no fault of
    // the line, so such errors are cleared instead of surfacing later.
    QObject::connect(&port_, &QSerialPort::errorOccurred, &port_, [this](QSerialPort::SerialPortError e) {
        if (e == QSerialPort::UnsupportedOperationError)
            port_.clearError();
    });
}

SerialLine::~SerialLine()
{
    close();
}

void SerialLine::setDeviceName(const QString& device)
{
    if (device == device_ || port_.isOpen())
        return;
    device_ = device;
    port_.setPortName(device);
}

QString SerialLine::deviceName() const
{
    return device_;
}

void SerialLine::setBaudRate(int baud)
{
    port_.setBaudRate(baud);
}

bool SerialLine::isOpen() const
{
    return port_.isOpen();
}

bool SerialLine::open()
{
    if (port_.isOpen())
        return true;
    error_.clear();
    if (!port_.open(QIODevice::ReadWrite)) {
        error_ = port_.errorString();
        port_.clearError();
        return false;
    }
    port_.clearError();
    // Whatever a previous user left in the device is not ours to read.
    port_.clear(QSerialPort::AllDirections);
    return true;
}

void SerialLine::close()
{
    if (!port_.isOpen())
        return;
    port_.flush();
    port_.close();
}

QString SerialLine::errorString() const
{
    return error_;
}

qint64 SerialLine::bytesAvailable() const
{
    return port_.isOpen() ? port_.bytesAvailable() : 0;
}

int SerialLine::readByte()
{
    char c = 0;
    if (!port_.isOpen() || !port_.getChar(&c))
        return -1;
    return std::uint8_t(c);
}

QByteArray SerialLine::read(qint64 maxBytes)
{
    return port_.isOpen() ? port_.read(maxBytes) : QByteArray();
}

void SerialLine::write(const QByteArray& bytes)
{
    if (!port_.isOpen())
        return;
    port_.write(bytes);
    // Bytes go out now, not when the event loop next runs: the unit times
    // its answers from them.
    port_.flush();
}

void SerialLine::discardInput()
{
    if (!port_.isOpen())
        return;
    port_.readAll();
    port_.clear(QSerialPort::Input);
}

void SerialLine::discardOutput()
{
    if (port_.isOpen())
        port_.clear(QSerialPort::Output);
}

} // namespace tvq52
