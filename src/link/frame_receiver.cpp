#include "link/frame_receiver.h"

namespace tvq52 {

namespace {
constexpr std::uint8_t kStart = 0x02;
}

FrameReceiver::FrameReceiver(std::uint8_t* buffer, std::size_t capacity) : buffer_(buffer), capacity_(capacity)
{
    reset();
}

void FrameReceiver::reset()
{
    stage_ = Stage::Start;
    check_ = 0;
    length_ = 0;
    index_ = 0;
    if (capacity_ > 0)
        buffer_[0] = 0;
}

FrameReceiver::Status FrameReceiver::feed(std::uint8_t byte)
{
    // A buffer that cannot hold the envelope takes nothing.
    if (capacity_ < std::size_t(kMinimumLength))
        return Status::BadLength;

    switch (stage_) {
    case Stage::Start:
        buffer_[0] = byte;
        if (byte == kStart) {
            check_ = kStart;
            stage_ = Stage::LengthHigh;
        }
        return Status::NeedMore;
    case Stage::LengthHigh:
        buffer_[1] = byte;
        check_ ^= byte;
        stage_ = Stage::LengthLow;
        return Status::NeedMore;
    case Stage::LengthLow: {
        buffer_[2] = byte;
        check_ ^= byte;
        // A set top bit makes the 16-bit length negative: no frame at all.
        const int n = (int(buffer_[1]) << 8) | byte;
        if (buffer_[1] & 0x80 || n < kMinimumLength || std::size_t(n) > capacity_) {
            stage_ = Stage::Done;
            return Status::BadLength;
        }
        length_ = n;
        index_ = 2;
        stage_ = Stage::Body;
        return Status::NeedMore;
    }
    case Stage::Body:
        ++index_;
        buffer_[index_] = byte;
        check_ ^= byte;
        if (index_ == length_ - 2)
            stage_ = Stage::Check;
        return Status::NeedMore;
    case Stage::Check:
        buffer_[length_ - 1] = byte;
        stage_ = Stage::Done;
        return byte == check_ ? Status::Complete : Status::BadCheck;
    case Stage::Done:
        reset();
        return feed(byte);
    }
    return Status::NeedMore;
}

} // namespace tvq52
