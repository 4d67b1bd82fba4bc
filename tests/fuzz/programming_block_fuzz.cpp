// Feeds arbitrary replies to the programming block decoder. The first byte
// picks the connected unit's firmware (the block is one byte longer from 4.0
// on); the rest is the frame, so the sanitizer sees any read past its end.
#include "programming/programming_block.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    static const char* const firmwares[] = {"3.2", "3.3", "3.10", "4.0", "4.1", ""};
    const QString firmware = QString::fromLatin1(firmwares[data[0] % std::size(firmwares)]);
    const std::uint8_t* frame = data + 1;
    const int length = int(size - 1);

    tvq52::ReceivedProgramming into;
    into.TIdioma = QStringLiteral("Italiano");
    const tvq52::ReceivedProgramming before = into;
    const bool decoded = tvq52::decodeProgrammingReply(frame, length, firmware, into);
    const int needed = tvq52::kReplyBlockOffset + 1
        + (firmware.startsWith(QLatin1Char('4')) ? tvq52::kProgrammingBlockSizeWithCorrection
                                                 : tvq52::kProgrammingBlockSize);
    if (decoded != (length >= needed))
        __builtin_trap();
    if (!decoded && !(into == before))
        __builtin_trap();
    return 0;
}
