#include "link/link_state.h"

namespace tvq52 {

QString portNumberDevice(int port)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    return QStringLiteral("/dev/ttyS%1").arg(port > 0 ? port - 1 : 0);
#endif
}

QString serialDeviceName(const LinkState& state)
{
    const QString device = state.SerialDevice.trimmed();
    return device.isEmpty() ? portNumberDevice(state.SerialPort) : device;
}

} // namespace tvq52
