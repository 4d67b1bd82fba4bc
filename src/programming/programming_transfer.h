#pragma once

#include "core/error.h"
#include "programming/programming_block.h"

#include <functional>

namespace tvq52 {

class DeviceLink;
class LinkTimer;

// How the unit answered a transmitted programming.
enum class TransmitAnswer : std::uint8_t { Accepted = 6, Rejected = 21, NoAnswer = 24 };

// Pace of the transmit frame and the wait for its answer; the window's timer
// goes back to the silence limit afterwards.
inline constexpr qint64 kBytePaceMs = 50;
inline constexpr qint64 kAnswerWaitMs = 10000;

// Called after every byte written: bytes sent so far, frame length, and the
// milliseconds of pacing still ahead.
using TransmitProgress = std::function<void(int sent, int total, qint64 msLeft)>;

// Writes the programming request one byte per write, without pauses.
void requestProgramming(DeviceLink& link);

// Receives the reply and decodes it as the identified unit sends it. Fails
// with `into` unchanged when the reception failed (with the link's error) or
// the reply is too short for the block (with nothing to tell).
Status receiveProgrammingReply(DeviceLink& link, LinkTimer& timer, ReceivedProgramming& into);

// Sends `frame` from STX to ETX one byte at least kBytePaceMs apart, then the
// check byte at once, then waits for the one-byte answer. Each pause counts
// from when the previous byte has been handed to the port, so a write held
// up on a busy machine never brings two bytes closer. A port that does not
// take a byte within the silence limit ends it with no answer.
TransmitAnswer sendProgramming(DeviceLink& link, LinkTimer& timer, const QByteArray& frame,
                               const TransmitProgress& progress = {});

} // namespace tvq52
