#include "link/line_settings.h"

namespace tvq52 {

QString portNumberDevice(int port)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    return QStringLiteral("/dev/ttyS%1").arg(port > 0 ? port - 1 : 0);
#endif
}

QString serialDeviceName(const LineSettings& settings)
{
    const QString device = settings.SerialDevice.trimmed();
    return device.isEmpty() ? portNumberDevice(settings.SerialPort) : device;
}

} // namespace tvq52
