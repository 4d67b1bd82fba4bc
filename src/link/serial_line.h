#pragma once

#include "link/line.h"

#include <QSerialPort>
#include <cstdint>

namespace tvq52 {

// Why a serial device cannot be used.
// Speed: the port opened but refused the line speed asked for.
enum class PortFault : std::uint8_t { None, Missing, NoPermission, Busy, NotSerial, Speed, Other };

struct PortAccess {
    PortFault fault = PortFault::None;
    QString device;
    // NoPermission: who may use the device, and where this user stands.
    QString user;
    QString owner;
    QString group;
    bool groupMayUse = false;     // the group may read and write it
    bool userInGroup = false;     // the group database lists the user
    bool sessionHasGroup = false; // ... and this process already has it
    // Busy: the program holding it, when it can be found.
    qint64 holderPid = 0;
    QString holderName;
    // Speed: the bit/s the port refused.
    int speed = 0;
    // Other: the system's own words.
    QString systemText;
};

// Looks at the device without opening it: whether it exists, whether this
// user may read and write it, and whether another program holds it.
PortAccess checkPortAccess(const QString& device);

// Tells why an open failed, from the port's error and the device itself. A
// refusal that is not about permission is another program holding it: the
// port is locked (lock file or exclusive mode) while a program has it open.
PortAccess diagnoseOpenFailure(const QString& device, QSerialPort::SerialPortError error, const QString& errorText);

// The error the user is shown: which of the faults it is and what to do.
Error portAccessError(const PortAccess& access);

// The line over a real serial device or a pseudo-terminal.
class SerialLine : public Line {
public:
    SerialLine();
    ~SerialLine() override;

    void setDeviceName(const QString& device) override;
    QString deviceName() const override;
    void setBaudRate(int baud) override;

    bool isOpen() const override;
    Status open() override;
    void close() override;

    qint64 bytesAvailable() const override;
    int readByte() override;
    QByteArray read(qint64 maxBytes) override;
    void write(const QByteArray& bytes) override;
    qint64 bytesToWrite() const override;

    void discardInput() override;
    void discardOutput() override;

private:
    QSerialPort port_;
    int baud_ = 19200;
    QString device_; // as configured; the port shortens /dev/ names
};

} // namespace tvq52
