#pragma once

#include "core/catalogue_ids.h"
#include "core/error.h"

#include <QByteArray>
#include <QString>

namespace tvq52 {

// The serial line as the link uses it: 8 data bits, no parity, 1 stop bit,
// byte reads, and the two buffer discards. A real serial port, the
// simulator's pseudo-terminal and an in-memory port all fit behind it.
class Line {
public:
    virtual ~Line() = default;

    virtual void setDeviceName(const QString& device) = 0;
    virtual QString deviceName() const = 0;
    virtual void setBaudRate(int baud) = 0;

    virtual bool isOpen() const = 0;
    // What the user is told when the device is missing, in use or refuses
    // the speed; opening an open line does nothing.
    virtual Status open() = 0;
    virtual void close() = 0;

    virtual qint64 bytesAvailable() const = 0;
    // One byte, or -1 when none is waiting.
    virtual int readByte() = 0;
    virtual QByteArray read(qint64 maxBytes) = 0;
    virtual void write(const QByteArray& bytes) = 0;
    // Bytes written that the device has not taken yet: a port that cannot
    // take them at once keeps them until the event loop hands them over.
    virtual qint64 bytesToWrite() const { return 0; }

    // Throws away what has arrived and not been read.
    virtual void discardInput() = 0;
    // Throws away what was written and not yet sent.
    virtual void discardOutput() = 0;

    // Whether a modem call is up on this line. It belongs to the line, not
    // to one exchange: a call left up serves the next session on the line.
    bool modemCallUp() const { return modemCallUp_; }
    void setModemCallUp(bool up) { modemCallUp_ = up; }

private:
    bool modemCallUp_ = false;
};

} // namespace tvq52
