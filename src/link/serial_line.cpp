#include "link/serial_line.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#endif

namespace tvq52 {

namespace {

#ifdef Q_OS_UNIX

// Where the port opens the device: a name without a path is one in /dev.
QString systemLocation(const QString& device)
{
    if (device.startsWith(QLatin1Char('/')) || device.startsWith(QLatin1String("./"))
        || device.startsWith(QLatin1String("../")))
        return device;
    return QStringLiteral("/dev/") + device;
}

bool processAlive(qint64 pid)
{
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

// The live process named by a lock file of the device (LCK..ttyS0 in
// /var/lock, as serial programs write them: the pid on the first line).
qint64 lockHolder(const QString& device)
{
    QStringList names;
    for (const QString& path : {device, QFileInfo(device).canonicalFilePath()}) {
        if (path.isEmpty())
            continue;
        QString name = path.startsWith(QLatin1String("/dev/")) ? path.mid(5) : path;
        name.replace(QLatin1Char('/'), QLatin1Char('_'));
        if (!names.contains(name))
            names << name;
    }
    for (const char* dir : {"/var/lock", "/run/lock"}) {
        for (const QString& name : names) {
            QFile lock(QStringLiteral("%1/LCK..%2").arg(QLatin1String(dir), name));
            if (!lock.open(QIODevice::ReadOnly))
                continue;
            const qint64 pid = lock.readLine(32).trimmed().toLongLong();
            if (processAlive(pid))
                return pid;
        }
    }
    return 0;
}

qint64 parentOf(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    // "pid (name) state ppid ...": the name may hold blanks and parentheses.
    const QByteArray text = stat.readAll();
    const QList<QByteArray> after = text.mid(text.lastIndexOf(')') + 1).simplified().split(' ');
    return after.size() > 1 ? after[1].toLongLong() : 0;
}

// A process that opened the device itself, as fuser finds it (all of them
// for root, this user's otherwise). Standard streams are left out: they are
// handed down, not taken (every shell has /dev/null or its terminal there),
// and so are this process and the ones that started it, which handed it
// its own.
qint64 openedBy(const QString& device)
{
    const QString target = QFileInfo(device).canonicalFilePath();
    if (target.isEmpty())
        return 0;
    QSet<qint64> ours;
    for (qint64 pid = ::getpid(); pid > 1 && !ours.contains(pid); pid = parentOf(pid))
        ours.insert(pid);
    const QDir proc(QStringLiteral("/proc"));
    for (const QString& entry : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (!numeric || ours.contains(pid))
            continue;
        const QDir fds(proc.filePath(entry + QStringLiteral("/fd")));
        for (const QString& fd : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
            if (fd.toInt() > STDERR_FILENO && QFile::symLinkTarget(fds.filePath(fd)) == target)
                return pid;
    }
    return 0;
}

enum class DeviceKind : std::uint8_t { Terminal, NotTerminal, Exclusive, Unknown };

// Opened without becoming its controlling terminal and without waiting for
// a carrier; only after the port's own open failed.
DeviceKind probeDevice(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == EBUSY ? DeviceKind::Exclusive : DeviceKind::Unknown;
    const bool terminal = ::isatty(fd) != 0;
    ::close(fd);
    return terminal ? DeviceKind::Terminal : DeviceKind::NotTerminal;
}

QString processName(qint64 pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    return comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll().trimmed()) : QString();
}

QString userName(uid_t uid)
{
    const passwd* pw = ::getpwuid(uid);
    return pw ? QString::fromLocal8Bit(pw->pw_name) : QString::number(uid);
}

void describePermission(PortAccess& access, const struct stat& st)
{
    access.user = userName(::getuid());
    access.owner = userName(st.st_uid);
    const group* gr = ::getgrgid(st.st_gid);
    access.group = gr ? QString::fromLocal8Bit(gr->gr_name) : QString::number(st.st_gid);
    // Joining root's group is no advice to give.
    access.groupMayUse = st.st_gid != 0 && (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);

    if (const passwd* pw = ::getpwuid(::getuid())) {
        int count = 64;
        std::vector<gid_t> groups(static_cast<std::size_t>(count));
        if (::getgrouplist(pw->pw_name, pw->pw_gid, groups.data(), &count) < 0) {
            groups.resize(std::size_t(count));
            ::getgrouplist(pw->pw_name, pw->pw_gid, groups.data(), &count);
        }
        groups.resize(std::size_t(std::max(count, 0)));
        access.userInGroup = std::find(groups.begin(), groups.end(), st.st_gid) != groups.end();
    }
    const int n = ::getgroups(0, nullptr);
    std::vector<gid_t> session(static_cast<std::size_t>(std::max(n, 0)));
    // A list that cannot be read counts as holding no group.
    if (n > 0)
        session.resize(static_cast<std::size_t>(std::max(::getgroups(n, session.data()), 0)));
    access.sessionHasGroup =
        ::getegid() == st.st_gid || std::find(session.begin(), session.end(), st.st_gid) != session.end();
}

#endif

} // namespace

PortAccess checkPortAccess(const QString& device)
{
    PortAccess access;
    access.device = device;
#ifdef Q_OS_UNIX
    const QString location = systemLocation(device);
    const QByteArray path = QFile::encodeName(location);
    struct stat st {};
    if (::stat(path.constData(), &st) != 0) {
        access.fault = (errno == ENOENT || errno == ENOTDIR) ? PortFault::Missing : PortFault::Other;
        access.systemText = QString::fromLocal8Bit(std::strerror(errno));
        return access;
    }
    // A file, a folder or a pipe is no port, whoever has it open.
    if (!S_ISCHR(st.st_mode)) {
        access.fault = PortFault::NotSerial;
        return access;
    }
    if (::access(path.constData(), R_OK | W_OK) != 0) {
        access.fault = PortFault::NoPermission;
        describePermission(access, st);
        return access;
    }
    access.holderPid = lockHolder(location);
    if (access.holderPid != 0) {
        access.fault = PortFault::Busy;
        access.holderName = processName(access.holderPid);
    }
#else
    if (!QFileInfo::exists(device) && !device.startsWith(QLatin1String("COM"), Qt::CaseInsensitive))
        access.fault = PortFault::Missing;
#endif
    return access;
}

PortAccess diagnoseOpenFailure(const QString& device, QSerialPort::SerialPortError error, const QString& errorText)
{
    PortAccess access = checkPortAccess(device);
    if (error == QSerialPort::DeviceNotFoundError) {
        access.fault = PortFault::Missing;
        return access;
    }
    if (access.fault == PortFault::Missing || access.fault == PortFault::NoPermission
        || access.fault == PortFault::NotSerial)
        return access;
    bool exclusive = false;
#ifdef Q_OS_UNIX
    if (access.holderPid == 0) {
        const QString location = systemLocation(device);
        const DeviceKind kind = probeDevice(location);
        // /dev/null and the like: a character device but no terminal.
        if (kind == DeviceKind::NotTerminal) {
            access.fault = PortFault::NotSerial;
            return access;
        }
        exclusive = kind == DeviceKind::Exclusive;
        access.holderPid = openedBy(location);
    }
    if (access.holderPid != 0 && access.holderName.isEmpty())
        access.holderName = processName(access.holderPid);
#endif
    // The user may read and write the device, so a refusal means it is taken.
    if (access.holderPid != 0 || exclusive || error == QSerialPort::PermissionError) {
        access.fault = PortFault::Busy;
        return access;
    }
    access.fault = PortFault::Other;
    access.systemText = errorText;
    return access;
}

Error portAccessError(const PortAccess& access)
{
    Error error{msg::TransmissionTimeout};
    switch (access.fault) {
    case PortFault::Missing:
        error.text = QStringLiteral(
            "El puerto %1 no existe. Compruebe que el cable o el adaptador USB está "
            "conectado, o elija otro puerto en Comunicaciones.");
        error.textArgs = {access.device};
        return error;
    case PortFault::NoPermission:
        if (access.groupMayUse && !access.userInGroup) {
            error.text = QStringLiteral(
                "El usuario %2 no puede usar el puerto %1: solo pueden los miembros del "
                "grupo %3. Añádalo con «sudo adduser %2 %3» y vuelva a iniciar la sesión.");
            error.textArgs = {access.device, access.user, access.group};
        } else if (access.groupMayUse && !access.sessionHasGroup) {
            error.text = QStringLiteral(
                "El usuario %2 ya es del grupo %3, que puede usar el puerto %1, pero esta "
                "sesión empezó antes. Cierre la sesión y vuelva a entrar.");
            error.textArgs = {access.device, access.user, access.group};
        } else {
            error.text = QStringLiteral(
                "El usuario %2 no tiene permiso para usar el puerto %1 (propietario %3, "
                "grupo %4). Pida acceso al administrador del equipo.");
            error.textArgs = {access.device, access.user, access.owner, access.group};
        }
        return error;
    case PortFault::NotSerial:
        error.text = QStringLiteral(
            "%1 no es un puerto serie. Compruebe el nombre del dispositivo, o elija otro puerto en Comunicaciones.");
        error.textArgs = {access.device};
        return error;
    case PortFault::Busy:
        if (access.holderPid != 0) {
            error.text = QStringLiteral(
                "El puerto %1 está ocupado por otro programa (%2, proceso %3). Ciérrelo y "
                "vuelva a intentarlo.");
            error.textArgs = {access.device, access.holderName, QString::number(access.holderPid)};
        } else {
            error.text = QStringLiteral(
                "El puerto %1 está ocupado por otro programa. Ciérrelo y vuelva a "
                "intentarlo; «fuser -v %1» muestra cuál es.");
            error.textArgs = {access.device};
        }
        return error;
    case PortFault::Speed:
        // The speed comes from the settings file alone: the key is named.
        error.text = QStringLiteral(
            "El puerto %1 no admite la velocidad de %2 bit/s que pide la clave ModemSpeed del archivo de "
            "configuración. Ponga otra, por ejemplo 19200.");
        error.textArgs = {access.device, QString::number(access.speed)};
        return error;
    case PortFault::None:
    case PortFault::Other:
        break;
    }
    error.detail = QStringLiteral("%1: %2").arg(access.device, access.systemText);
    return error;
}

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
    baud_ = baud;
    if (port_.isOpen())
        port_.setBaudRate(baud);
}

bool SerialLine::isOpen() const
{
    return port_.isOpen();
}

Status SerialLine::open()
{
    if (port_.isOpen())
        return {};
    // Opened at the unit's own speed and then set to the one asked for, so
    // that a speed the port refuses is told as such, not as a port that
    // cannot be opened.
    port_.setBaudRate(19200);
    if (!port_.open(QIODevice::ReadWrite)) {
        const PortAccess failure = diagnoseOpenFailure(device_, port_.error(), port_.errorString());
        port_.clearError();
        return portAccessError(failure);
    }
    if (baud_ != 19200 && !port_.setBaudRate(baud_)) {
        PortAccess failure;
        failure.fault = PortFault::Speed;
        failure.device = device_;
        failure.speed = baud_;
        port_.close();
        port_.clearError();
        return portAccessError(failure);
    }
    port_.clearError();
    // Whatever a previous user left in the device is not ours to read.
    port_.clear(QSerialPort::AllDirections);
    return {};
}

void SerialLine::close()
{
    if (!port_.isOpen())
        return;
    port_.flush();
    port_.close();
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
    qint64 written = 0;
#ifdef Q_OS_UNIX
    // Straight to the device when nothing of ours waits before them: the
    // unit times its answers from these bytes (an ACK goes out the moment
    // its record is committed), and the port's own write path costs a
    // buffer, a notifier and another turn of the event loop.
    while (port_.bytesToWrite() == 0 && written < bytes.size()) {
        const ssize_t n = ::write(int(port_.handle()), bytes.constData() + written, size_t(bytes.size() - written));
        if (n > 0)
            written += n;
        else if (n == 0 || errno != EINTR) // nothing taken: never spin on the device
            break;
    }
#endif
    if (written == bytes.size())
        return;
    // What the device did not take at once (or its error) goes the port's way.
    port_.write(bytes.mid(written));
    port_.flush();
}

qint64 SerialLine::bytesToWrite() const
{
    return port_.isOpen() ? port_.bytesToWrite() : 0;
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
