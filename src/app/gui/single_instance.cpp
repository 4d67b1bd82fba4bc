#include "app/gui/single_instance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace tvq52 {

namespace {

constexpr char kTaken[] = "taken\n";
// A hand-over is one line: a serial number or a file's path.
constexpr qint64 kLongestLine = 64 * 1024;

// Never a folder others can write to, such as /tmp: another user could make
// the socket's folder there first and answer or swallow the hand-overs.
QString privateFolderPath()
{
    QString base = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (base.isEmpty() || !QFileInfo(base).isDir())
        base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    return QDir(base).filePath(QStringLiteral("tvq52"));
}

} // namespace

SingleInstance::SingleInstance(const QString& dataFolder, QObject* parent)
    : QObject(parent), name_(serverName(dataFolder))
{
    // Only this user may hand files to the window.
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (server_.hasPendingConnections())
            takeConnection();
    });
}

SingleInstance::~SingleInstance()
{
    server_.close();
}

QString SingleInstance::serverName(const QString& dataFolder)
{
    // A folder reached through a link is the same folder.
    const QFileInfo info(dataFolder);
    const QString real = info.exists() ? info.canonicalFilePath() : QDir::cleanPath(info.absoluteFilePath());
    const QByteArray hash = QCryptographicHash::hash(real.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return QDir(privateFolderPath())
        .filePath(QStringLiteral("tvq52-%1-%2").arg(::getuid()).arg(QString::fromLatin1(hash)));
}

std::optional<QString> SingleInstance::privateFolder(QString* why)
{
    const QString folder = privateFolderPath();
    QString reason;
    QDir().mkpath(QFileInfo(folder).path());
    const QByteArray path = QFile::encodeName(folder);
    struct stat st {};
    // Made here with no access for others; one found is taken only as such.
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        reason = QStringLiteral("cannot make %1: %2").arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
    else if (::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        reason = QStringLiteral("%1 is not a folder").arg(folder);
    else if (st.st_uid != ::getuid())
        reason = QStringLiteral("%1 belongs to another user").arg(folder);
    else if ((st.st_mode & 07777) != 0700)
        reason = QStringLiteral("%1 is open to other users").arg(folder);
    if (reason.isEmpty())
        return folder;
    if (why)
        *why = reason;
    return std::nullopt;
}

bool SingleInstance::peerIsThisUser(qintptr descriptor)
{
    ucred peer{};
    socklen_t size = sizeof peer;
    return ::getsockopt(int(descriptor), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && size == sizeof peer
        && peer.uid == ::getuid();
}

bool SingleInstance::usable() const
{
    if (!privateFolder(&error_))
        return false;
    // The path and its closing NUL must fit the socket's address.
    if (QFile::encodeName(name_).size() >= qsizetype(sizeof(sockaddr_un::sun_path))) {
        error_ = QStringLiteral("the socket's path %1 is too long").arg(name_);
        return false;
    }
    return true;
}

SingleInstance::Claim SingleInstance::claim()
{
    if (!usable())
        return Claim::Unavailable;
    lock_ = std::make_unique<QLockFile>(name_ + QStringLiteral(".lock"));
    // Held for the whole run, however long: only a dead holder makes it stale.
    lock_->setStaleLockTime(0);
    if (!lock_->tryLock(0)) {
        const bool held = lock_->error() == QLockFile::LockFailedError;
        error_ = held ? QStringLiteral("in use") : QStringLiteral("cannot write %1").arg(lock_->fileName());
        lock_.reset();
        return held ? Claim::HeldElsewhere : Claim::Unavailable;
    }
    // A socket left behind by a killed program goes with its claim.
    QLocalServer::removeServer(name_);
    if (!server_.listen(name_))
        error_ = server_.errorString();
    return Claim::Taken;
}

bool SingleInstance::handOver(const QString& argument, int timeoutMs) const
{
    if (!usable())
        return false;
    // The holder may be starting still: it listens a moment after it claims.
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(name_);
        if (socket.waitForConnected(int(std::max<qint64>(deadline.remainingTime(), 1)))) {
            if (!peerIsThisUser(socket.socketDescriptor())) {
                error_ = QStringLiteral("the socket %1 is another user's").arg(name_);
                return false;
            }
            socket.write(argument.toUtf8() + '\n');
            socket.flush();
            while (!socket.canReadLine() && socket.waitForReadyRead(int(std::max<qint64>(deadline.remainingTime(), 1))))
                ;
            if (socket.readLine() == kTaken)
                return true;
            error_ = QStringLiteral("the running program did not answer");
            return false;
        }
        error_ = socket.errorString();
        QThread::msleep(50);
    }
    return false;
}

void SingleInstance::takeConnection()
{
    QLocalSocket* socket = server_.nextPendingConnection();
    if (!socket)
        return;
    // Deleted from the event loop, never under its own handler.
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    if (!peerIsThisUser(socket->socketDescriptor())) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
        if (!socket->canReadLine()) {
            if (socket->bytesAvailable() > kLongestLine)
                socket->abort();
            return;
        }
        const QString argument = QString::fromUtf8(socket->readLine()).chopped(1);
        socket->write(kTaken);
        socket->disconnectFromServer();
        // Acted on after this handler: an import's dialog run from here would
        // outlive the connection, and the socket with it.
        QMetaObject::invokeMethod(
            this, [this, argument] { emit received(argument); }, Qt::QueuedConnection);
    });
}

} // namespace tvq52
