#pragma once

#include "records/recorded_data.h"

#include <QByteArray>
#include <QList>
#include <cstdint>
#include <optional>

namespace tvq52 {

// The request frames of a download, without their check byte (SendFrame
// adds it): totals 02 00 06 02 03, event dates 02 00 06 03 03, and the two
// lists with the range's request bytes.
QByteArray totalsRequest();
QByteArray eventDatesRequest();
QByteArray intervalsRequest(const DownloadRange& range);
QByteArray sessionsRequest(const DownloadRange& range);

// The decoders read a received frame: `frame` from its STX, `length` its
// bytes including the check byte (DeviceLink::frame()). They never read
// past `length`.

// Nothing when the frame is too short to hold the four counters.
std::optional<TotalsReading> decodeTotals(const std::uint8_t* frame, int length, const QDateTime& now);
// Every slot that is a date, in reply order; slots the frame does not hold are skipped.
QList<EventDate> decodeEventDates(const std::uint8_t* frame, int length);

// What one frame of a record list is.
enum class RecordFrame : std::uint8_t {
    Record,         // checked and decoded: store it, then ACK
    EndOfList,      // day 0: the unit has no more; nothing is answered
    OlderThanRange, // key stamp before the range start: answer CAN, the list ends
    Refused,        // failed a check or too short: answer ACK, store nothing
};

template <typename R> struct DecodedRecord {
    RecordFrame kind = RecordFrame::Refused;
    R record;
    // What refused it, for the verbose trace ("SLeqLocal 1401", "short frame: 40 bytes").
    QString refusal;
};

// Interval frames: the layout follows the firmware the unit reported. Month
// 244 is read as 1. `rangeStart` is DownloadRange::start().
DecodedRecord<IntervalRecord> decodeInterval(const std::uint8_t* frame, int length, IntervalLayout layout,
                                             const QDateTime& rangeStart);
DecodedRecord<SessionRecord> decodeSession(const std::uint8_t* frame, int length, const QDateTime& rangeStart);

} // namespace tvq52
