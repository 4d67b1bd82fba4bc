#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
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
    void send(const QByteArray& bytes);

signals:
    void received(const QByteArray& bytes);
    void peerOpened();
    void peerClosed();

private:
    void readMaster();
    void checkPeer();
    void lostPeer();
    void drain();

    bool paced_;
    int master_ = -1;
    QString slavePath_;
    bool peer_ = false;
    std::unique_ptr<QSocketNotifier> readNotifier_;
    QTimer peerPoll_;
    QTimer drainTimer_;
    QByteArray outbox_;
    QElapsedTimer pacing_;
    double credit_ = 0; // bytes the line could have carried since the last drain
};

} // namespace tvq52::sim
