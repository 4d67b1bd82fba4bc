// Feeds arbitrary line bytes to the frame receiver. The buffer is allocated
// at exactly its capacity so the sanitizer sees any write past it.
#include "link/frame_receiver.h"

#include <cstddef>
#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    // The first byte picks the capacity, so small buffers are tried too.
    const std::size_t capacity = data[0] == 0 ? 512 : std::size_t(data[0]) * 2;
    auto buffer = std::make_unique<std::uint8_t[]>(capacity);
    tvq52::FrameReceiver rx(buffer.get(), capacity);

    for (std::size_t k = 1; k < size; ++k) {
        const auto status = rx.feed(data[k]);
        if (status != tvq52::FrameReceiver::Status::Complete)
            continue;
        const int n = rx.length();
        if (n < tvq52::FrameReceiver::kMinimumLength || std::size_t(n) > capacity || buffer[0] != 0x02)
            __builtin_trap();
        std::uint8_t x = 0;
        for (int i = 0; i < n; ++i)
            x ^= buffer[i];
        if (x != 0)
            __builtin_trap();
    }
    return 0;
}
