#include "unit_simulator.h"

#include "link/frame.h"
#include "unit_frames.h"

#include <QTextStream>
#include <cmath>

namespace tvq52::sim {

namespace {

// Larger than any frame the PC sends; a length beyond it is noise.
constexpr int kLongestRequest = 1024;

QByteArray garbageBytes()
{
    return QByteArray::fromHex("FF0055AA1803");
}

} // namespace

UnitSimulator::UnitSimulator(SimOptions options, RecordedHistory history, Sink sink)
    : options_(std::move(options)), history_(std::move(history)), sink_(std::move(sink))
{
    block_ = defaultProgrammingBlock(options_);
    readingTimer_.setSingleShot(true);
    connect(&readingTimer_, &QTimer::timeout, this, &UnitSimulator::sendReading);
}

bool UnitSimulator::hasFault(FaultKind kind, int frameNumber) const
{
    for (const Fault& f : options_.faults)
        if (f.kind == kind && f.appliesTo(frameNumber))
            return true;
    return false;
}

void UnitSimulator::sendByte(std::uint8_t byte)
{
    sink_(QByteArray(1, char(byte)));
}

bool UnitSimulator::sendFrame(QByteArray frame, bool isRecord)
{
    const int n = ++framesSent_;
    bool faulty = false;
    for (const Fault& f : options_.faults)
        faulty = faulty || f.appliesTo(n);
    if (hasFault(FaultKind::Silent, n))
        return faulty;
    const int levelAt = frame.at(3) == char(UnitCommand::SessionRecords) ? kSessionLevelOffset : kIntervalLevelOffset;
    auto setLevel = [&](int tenths) {
        frame[levelAt] = char(tenths >> 8);
        frame[levelAt + 1] = char(tenths & 0xFF);
    };
    if (isRecord && frame.size() > 20) {
        // Out-of-range levels with the check byte still right.
        if (hasFault(FaultKind::DamagedRecord, n))
            setLevel(0x8000);
        if (hasFault(FaultKind::Level1401, n))
            setLevel(1401);
        if (hasFault(FaultKind::ShortRecord, n)) {
            // Cut after the level, closed again with ETX, length and check byte.
            frame.truncate(levelAt + 2);
            frame.append(char(kEtx));
            frame[1] = char((frame.size() + 1) >> 8);
            frame[2] = char((frame.size() + 1) & 0xFF);
            frame.append(char(0));
        }
        frame[frame.size() - 1] = char(checkByte(frame.left(frame.size() - 1)));
    }
    if (hasFault(FaultKind::LongFrame, n)) {
        frame[1] = char(0x7F);
        frame[2] = char(0xFF);
    }
    if (hasFault(FaultKind::ShortLength, n)) {
        frame[1] = 0;
        frame[2] = 3;
    }
    if (hasFault(FaultKind::BadCheck, n))
        frame[frame.size() - 1] = char(frame.at(frame.size() - 1) ^ 0x5A);
    if (hasFault(FaultKind::Garbage, n))
        frame.prepend(garbageBytes());
    if (hasFault(FaultKind::Stall, n))
        frame.truncate(frame.size() / 2);
    sink_(frame);
    return faulty;
}

void UnitSimulator::receive(const QByteArray& bytes)
{
    for (char c : bytes)
        receiveByte(std::uint8_t(c));
}

void UnitSimulator::receiveByte(std::uint8_t byte)
{
    if (!inFrame_.isEmpty()) {
        inFrame_.append(char(byte));
        if (inFrame_.size() < 3)
            return;
        const int n = (std::uint8_t(inFrame_[1]) << 8) | std::uint8_t(inFrame_[2]);
        if (n < 5 || n > kLongestRequest) {
            inFrame_.clear();
            return;
        }
        if (inFrame_.size() == n) {
            const QByteArray frame = inFrame_;
            inFrame_.clear();
            handleFrame(frame);
        }
        return;
    }
    switch (byte) {
    case kStx:
        inFrame_.append(char(byte));
        break;
    case kAck:
        if (answer_)
            answer_(byte);
        if (transfer_ == Transfer::Intervals || transfer_ == Transfer::Sessions) {
            if (!awaitingAck_.isEmpty() && ackLog_)
                ackLog_(awaitingAck_);
            awaitingAck_.clear();
            sendNextRecord();
        } else if (transfer_ == Transfer::RealTime)
            readingTimer_.start(options_.realtimeMs);
        break;
    case kCan:
        if (answer_)
            answer_(byte);
        endTransfer();
        break;
    default:
        break; // noise between frames, the modem escape
    }
}

void UnitSimulator::lineDropped()
{
    inFrame_.clear();
    endTransfer();
}

void UnitSimulator::endTransfer()
{
    transfer_ = Transfer::None;
    pending_.clear();
    awaitingAck_.clear();
    readingTimer_.stop();
}

void UnitSimulator::handleFrame(const QByteArray& frame)
{
    // A damaged frame goes unanswered, a programming too; the PC times out.
    if (checkByte(frame.left(frame.size() - 1)) != std::uint8_t(frame.back()))
        return;
    // During a list or a stream only ACK and CAN count: a PC that asks
    // anything else first has forgotten the CAN.
    if (transfer_ != Transfer::None)
        return;
    const auto command = UnitCommand(std::uint8_t(frame.at(3)));
    switch (command) {
    case UnitCommand::Programming:
        handleProgramming(frame);
        break;
    case UnitCommand::Identify:
        sendFrame(identityReply(options_));
        break;
    case UnitCommand::Totals:
        sendFrame(totalsReply(history_));
        break;
    case UnitCommand::EventDates:
        sendFrame(eventDatesReply(history_));
        break;
    case UnitCommand::ReadProgramming:
        sendFrame(programmingReply(block_));
        break;
    case UnitCommand::IntervalRecords:
        startList(Transfer::Intervals, frame);
        break;
    case UnitCommand::SessionRecords:
        startList(Transfer::Sessions, frame);
        break;
    case UnitCommand::RealTime:
        transfer_ = Transfer::RealTime;
        readingCount_ = 0;
        sendReading();
        break;
    default:
        break;
    }
}

void UnitSimulator::handleProgramming(const QByteArray& frame)
{
    const int expected = options_.hasCorrectionByte() ? 377 : 376;
    const int n = ++framesSent_;
    if (hasFault(FaultKind::ProgramSilent, n) || hasFault(FaultKind::Silent, n))
        return;
    if (frame.size() != expected || options_.progMode != 1 || hasFault(FaultKind::Nak, n)) {
        sendByte(kNak);
        return;
    }
    received_ << frame;
    block_ = frame.mid(10, frame.size() - 12);
    history_.reprogrammings << QDateTime::currentDateTime();
    while (history_.reprogrammings.size() > 10)
        history_.reprogrammings.removeFirst();
    sendByte(kAck);
}

void UnitSimulator::startList(Transfer kind, const QByteArray& frame)
{
    if (frame.size() < 16)
        return;
    const auto* range = reinterpret_cast<const std::uint8_t*>(frame.constData() + 4);
    // A unit applies only the range's end: from there it sends everything
    // it holds, newest first, until the PC's CAN.
    const QDateTime to = stampTime(range + 5);
    auto inRange = [&](const QDateTime& t) { return !to.isValid() || t <= to; };

    pending_.clear();
    if (kind == Transfer::Intervals) {
        for (auto it = history_.intervals.crbegin(); it != history_.intervals.crend(); ++it)
            if (inRange(it->end))
                pending_ << intervalFrame(*it, options_);
        pending_ << intervalListEnd();
    } else {
        for (auto it = history_.sessions.crbegin(); it != history_.sessions.crend(); ++it)
            if (inRange(it->start))
                pending_ << sessionFrame(*it);
        pending_ << sessionListEnd();
    }
    transfer_ = kind;
    sendNextRecord();
}

void UnitSimulator::sendNextRecord()
{
    if (pending_.isEmpty()) {
        transfer_ = Transfer::None;
        return;
    }
    const QByteArray next = pending_.takeFirst();
    const bool last = pending_.isEmpty();
    const bool faulty = sendFrame(next, !last);
    if (!last) {
        const QDateTime key = stampTime(reinterpret_cast<const std::uint8_t*>(next.constData() + 4));
        awaitingAck_ = (transfer_ == Transfer::Intervals ? "interval " : "session ")
            + key.toString(QStringLiteral("yyyy-MM-dd HH:mm")).toLatin1() + (faulty ? " faulty" : "");
    }
    if (last)
        transfer_ = Transfer::None; // nothing is expected after the end frame
}

void UnitSimulator::sendReading()
{
    if (transfer_ != Transfer::RealTime)
        return;
    const QDateTime now = QDateTime::currentDateTime();
    if (options_.realtimeCases) {
        const QList<RealTimeReading>& cases = realTimeCases();
        RealTimeReading r = cases.at(readingCount_++ % cases.size());
        r.at = now;
        sendFrame(realTimeFrame(r));
        return;
    }
    const int hour = now.time().hour();
    RealTimeReading r;
    r.at = now;
    r.night = hour >= VenueLimits::nightStartHour || hour < VenueLimits::nightEndHour;
    r.session = hour >= 20 || hour < 4;
    // The level swings slowly around a venue's working level.
    const double phase = double(readingCount_++) / 8.0;
    r.level = 850 + int(std::lround(250.0 * std::sin(phase + double(options_.seed % 7))));
    const int limit = (r.night ? VenueLimits::nightVenue : VenueLimits::dayVenue) * 10;
    r.attenuation = std::uint8_t(r.level > limit ? std::min(40, (r.level - limit) / 10 + 3) : 0);
    sendFrame(realTimeFrame(r));
}

} // namespace tvq52::sim
