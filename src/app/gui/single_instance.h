#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>
#include <optional>

namespace tvq52 {

// One program per data folder: the first start claims the folder and
// listens; a later start on the same folder hands its argument (a file
// opened from the file manager, a serial number, or nothing: just show the
// window) to the running one and ends. Two data folders run two programs.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Claim {
        Taken,         // this program holds the folder and listens from now on
        HeldElsewhere, // another program holds it: hand the argument over
        Unavailable,   // no private place for the socket: run alone, without hand-overs
    };

    explicit SingleInstance(const QString& dataFolder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // The socket's name: per data folder (its real path), in the user's
    // private folder.
    static QString serverName(const QString& dataFolder);

    // The user's private folder of sockets and locks, made when missing:
    // under the user's runtime folder, else the user's cache folder. None
    // when it is not this user's alone (another owner, a mode other than
    // 0700, a link), with the reason in `why`.
    static std::optional<QString> privateFolder(QString* why = nullptr);

    // Whether the other end of the local socket `descriptor` runs as this user.
    static bool peerIsThisUser(qintptr descriptor);

    // The claim of a program that was killed is taken over, its socket with it.
    Claim claim();

    // Gives `argument` to the program that holds the folder and waits until
    // it has taken it; false when none answered within `timeoutMs`.
    bool handOver(const QString& argument, int timeoutMs = 5000) const;

    // Why the last claim or hand-over failed.
    QString errorString() const { return error_; }

signals:
    // A later start's argument (empty: it only asked to be shown). Sent once
    // the connection that brought it is answered and closed, from the event
    // loop: what it opens may run dialogs of its own.
    void received(const QString& argument);

private:
    bool usable() const;
    void takeConnection();

    QString name_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer server_;
    mutable QString error_;
};

} // namespace tvq52
