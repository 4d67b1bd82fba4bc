#pragma once

// Plain C++ with no Qt, so that the fuzzer builds it on its own.
#include <cstddef>
#include <cstdint>

namespace tvq52 {

// The byte-by-byte reading of one frame: bytes before STX are skipped, the
// length field says where the check byte is, and the running XOR is compared
// with it. Writes only inside the buffer it is given.
class FrameReceiver {
public:
    enum class Status {
        NeedMore,  // keep feeding bytes
        Complete,  // the frame is in the buffer, indexes 0 to length()-1
        BadCheck,  // the check byte differs from the XOR of the frame
        BadLength, // the length field is too small for a frame or larger than the buffer
    };

    // The smallest length that still holds a command byte before the check byte.
    static constexpr int kMinimumLength = 5;

    FrameReceiver(std::uint8_t* buffer, std::size_t capacity);

    // Forgets any partial frame and clears index 0.
    void reset();
    Status feed(std::uint8_t byte);

    // The length field once both of its bytes were read, else 0.
    int length() const { return length_; }
    bool started() const { return stage_ != Stage::Start; }

private:
    enum class Stage { Start, LengthHigh, LengthLow, Body, Check, Done };

    std::uint8_t* buffer_;
    std::size_t capacity_;
    Stage stage_ = Stage::Start;
    std::uint8_t check_ = 0;
    int length_ = 0;
    int index_ = 0;
};

} // namespace tvq52
