#pragma once

#include "recorded_history.h"

#include <QByteArray>
#include <QDateTime>
#include <cstdint>

namespace tvq52::sim {

struct SimOptions;

// What the unit shows in one real-time reading.
struct RealTimeReading {
    QDateTime at;
    bool session = false;
    bool night = false;
    std::uint8_t mainsOff = 0;
    std::uint8_t sensorOff = 0;
    bool nonWorking = false;
    int level = 0; // tenths of a decibel
    std::uint8_t attenuation = 0;
};

// The unit's replies, complete with envelope and check byte.
QByteArray identityReply(const SimOptions& options);
QByteArray totalsReply(const RecordedHistory& history);
QByteArray eventDatesReply(const RecordedHistory& history);
QByteArray programmingReply(const QByteArray& block);
// Interval record in the layout of firmware 3.0 and later, or the older one.
QByteArray intervalFrame(const IntervalRecord& record, const SimOptions& options);
QByteArray sessionFrame(const SessionRecord& record);
// The frame that ends a list: day byte 0.
QByteArray intervalListEnd();
QByteArray sessionListEnd();
QByteArray realTimeFrame(const RealTimeReading& reading);
// The readings of --realtime-cases, in the order they are sent, repeating.
const QList<RealTimeReading>& realTimeCases();

// Offsets of a level field in each record frame, for the damaged-record fault.
inline constexpr int kIntervalLevelOffset = 17;
inline constexpr int kSessionLevelOffset = 36;

// The five-byte stamp: day, month, years since 1900, hour, minute.
QByteArray stamp(const QDateTime& when);
// The stamp of a request's range, or an invalid date-time.
QDateTime stampTime(const std::uint8_t* bytes);

// A plausible programming for the generated venue, 365 bytes with the
// global-correction byte for firmware 4.0 and later, else 364.
QByteArray defaultProgrammingBlock(const SimOptions& options);

} // namespace tvq52::sim
