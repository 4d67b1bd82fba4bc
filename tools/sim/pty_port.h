#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace tvq52::sim {

// The master side of a pseudo-terminal: the PC opens the slave path as its
// serial port. Notices when the PC closes its port (the line drops) and
// opens it again; optionally sends at the pace of a 19200 bit/s line.
class PtyPort : public QObject {
    Q_OBJECT
public:
    explicit PtyPort(bool paced, QObject* parent = nullptr);
    ~PtyPort() override;

    // Creates the terminal; false with *error set when it cannot.
    bool open(QString* error);
    QString slavePath() const { return slavePath_; }
    bool peerPresent() const { return peer_; }

    // Queued and sent in order; dropped while no PC has the port open.
    // `written`, when given, is told the monotonic microsecond at which the
    // last of these bytes went into the terminal.
    void send(const QByteArray& bytes, std::function<void(qint64 us)> written = {});
    // Bytes queued that have not gone into the terminal yet.
    bool sending() const { return !outbox_.isEmpty(); }
    // When the bytes last handed on by received() came out of the terminal.
    qint64 lastReadUs() const { return lastReadUs_; }

signals:
    void received(const QByteArray& bytes);
    void peerOpened();
    void peerClosed();

private:
    void readMaster();
    void checkPeer();
    void lostPeer();
    void drain();
    // `n` bytes went into the terminal.
    void sent(qint64 n);

    bool paced_;
    int master_ = -1;
    QString slavePath_;
    bool peer_ = false;
    std::unique_ptr<QSocketNotifier> readNotifier_;
    QTimer peerPoll_;
    QTimer drainTimer_;
    QByteArray outbox_;
    struct Mark {
        qint64 end; // the byte count sent once these bytes are
        std::function<void(qint64)> written;
    };
    std::deque<Mark> marks_;
    qint64 queuedBytes_ = 0;
    qint64 sentBytes_ = 0;
    qint64 lastReadUs_ = 0;
    QElapsedTimer pacing_;
    double credit_ = 0; // bytes the line could have carried since the last drain
};

} // namespace tvq52::sim
