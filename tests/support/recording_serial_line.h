#pragma once

#include "link/serial_line.h"

#include <QByteArray>
#include <QString>

namespace tvq52::test {

inline const QString kSimulatorProgram = QStringLiteral(TVQ52_BIN_DIR "/tvq52-sim");

// The real serial line, keeping what the link wrote.
class RecordingSerialLine : public SerialLine {
public:
    void write(const QByteArray& bytes) override
    {
        written += bytes;
        SerialLine::write(bytes);
    }
    QByteArray written;
};

} // namespace tvq52::test
