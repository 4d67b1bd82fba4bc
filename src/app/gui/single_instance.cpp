#include "app/gui/single_instance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QThread>
#include <unistd.h>

namespace tvq52 {

namespace {

constexpr char kTaken[] = "taken\n";

// Sockets and locks live where the user's runtime files do, else in /tmp.
QString runtimeFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo(runtime).isDir() ? runtime : QDir::tempPath();
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
    return QDir(runtimeFolder()).filePath(QStringLiteral("tvq52-%1-%2").arg(::getuid()).arg(QString::fromLatin1(hash)));
}

bool SingleInstance::claim()
{
    lock_ = std::make_unique<QLockFile>(name_ + QStringLiteral(".lock"));
    // Held for the whole run, however long: only a dead holder makes it stale.
    lock_->setStaleLockTime(0);
    if (!lock_->tryLock(0)) {
        error_ = lock_->error() == QLockFile::LockFailedError
            ? QStringLiteral("in use")
            : QStringLiteral("cannot write %1").arg(lock_->fileName());
        lock_.reset();
        return false;
    }
    // A socket left behind by a killed program goes with its claim.
    QLocalServer::removeServer(name_);
    if (!server_.listen(name_)) {
        error_ = server_.errorString();
        return true;
    }
    return true;
}

bool SingleInstance::handOver(const QString& argument, int timeoutMs) const
{
    // The holder may be starting still: it listens a moment after it claims.
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(name_);
        if (socket.waitForConnected(int(std::max<qint64>(deadline.remainingTime(), 1)))) {
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
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
        if (!socket->canReadLine())
            return;
        const QString argument = QString::fromUtf8(socket->readLine()).chopped(1);
        socket->write(kTaken);
        socket->flush();
        emit received(argument);
    });
}

} // namespace tvq52
