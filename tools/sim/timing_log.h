#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace tvq52::sim {

// Microseconds on the system's monotonic clock: a program on the PC side
// reads the same clock, so both sides' times compare.
qint64 monotonicUs();

// When the last byte of each of the unit's outputs went into the terminal
// and when each answer byte (ACK, CAN) came out of it, one line each, the
// monotonic microsecond first:
//   T sent N LENGTH COMMAND   output N: a frame's command byte in hex, "--" for other bytes
//   T ack N DELAY [early]     DELAY microseconds after output N's last byte went in;
//   T can N DELAY [early]     "early" while bytes of the unit's were still waiting to go
class TimingLog {
public:
    bool open(const QString& path, QString* error);
    void written(qint64 us, const QByteArray& bytes);
    void answered(qint64 us, std::uint8_t byte, bool stillSending);

private:
    QFile file_;
    int outputs_ = 0;
    qint64 lastWrittenUs_ = -1;
};

// One line of a timing log as read back.
struct TimingEntry {
    enum class Kind : std::uint8_t { Sent, Ack, Can };
    qint64 us = 0;
    Kind kind = Kind::Sent;
    int output = 0;
    int length = 0;    // Sent
    int command = -1;  // Sent: the frame's command byte; -1 for other bytes
    qint64 delayUs = 0; // Ack, Can
    bool early = false; // Ack, Can
};

// The log's lines in order; nothing, with *error naming the line, when one
// is not a timing line.
std::optional<std::vector<TimingEntry>> readTimingLog(const QString& path, QString* error);

// The answer delays (ACK only) that follow outputs with command `command`.
std::vector<qint64> ackDelaysAfter(const std::vector<TimingEntry>& log, int command);

} // namespace tvq52::sim
