#pragma once

#include "recorded_history.h"
#include "sim_options.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <functional>

namespace tvq52::sim {

// The unit behind the line: reads the PC's frames and single bytes, and
// answers the whole command set, with the faults it was told to make.
class UnitSimulator : public QObject {
    Q_OBJECT
public:
    using Sink = std::function<void(const QByteArray&)>;

    UnitSimulator(SimOptions options, RecordedHistory history, Sink sink);

    // Told of every record frame the PC acknowledged: a line for the ack log.
    void onAcknowledged(std::function<void(const QByteArray& line)> log) { ackLog_ = std::move(log); }
    // Told of every ACK or CAN the unit takes from the PC, as it takes it.
    void onAnswer(std::function<void(std::uint8_t byte)> seen) { answer_ = std::move(seen); }

    // Bytes from the PC.
    void receive(const QByteArray& bytes);
    // The line went down: any transfer in progress ends.
    void lineDropped();

    const RecordedHistory& history() const { return history_; }
    // Between calls the unit's memory may change (an erasure, a reprogramming).
    void setHistory(RecordedHistory history) { history_ = std::move(history); }
    const QByteArray& programmingBlock() const { return block_; }
    // Every programming the PC sent, in order.
    const QList<QByteArray>& receivedProgrammings() const { return received_; }
    int framesSent() const { return framesSent_; }

private:
    enum class Transfer { None, Intervals, Sessions, RealTime };

    void receiveByte(std::uint8_t byte);
    void handleFrame(const QByteArray& frame);
    void handleProgramming(const QByteArray& frame);
    void startList(Transfer kind, const QByteArray& frame);
    void sendNextRecord();
    void sendReading();
    void endTransfer();

    // Sends one frame, making the faults that apply to it; true when one did.
    bool sendFrame(QByteArray frame, bool isRecord = false);
    void sendByte(std::uint8_t byte);
    bool hasFault(FaultKind kind, int frameNumber) const;

    SimOptions options_;
    RecordedHistory history_;
    Sink sink_;
    QByteArray block_;
    QList<QByteArray> received_;

    QByteArray inFrame_; // bytes of the PC's frame being read
    int framesSent_ = 0;

    Transfer transfer_ = Transfer::None;
    QList<QByteArray> pending_; // record frames still to send, next first
    QByteArray awaitingAck_;    // the ack-log line of the record frame last sent
    std::function<void(const QByteArray&)> ackLog_;
    std::function<void(std::uint8_t)> answer_;
    QTimer readingTimer_;
    int readingCount_ = 0;
};

} // namespace tvq52::sim
