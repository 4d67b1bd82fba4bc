// Feeds arbitrary frames to the identification reply decoder; the input is
// the whole frame, so the sanitizer sees any read past its end.
#include "link/unit_identity.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto decoded = tvq52::decodeIdentity(data, int(size));
    if (const auto* id = std::get_if<tvq52::UnitIdentity>(&decoded)) {
        // Six digit places can hold no more; the firmware is "major.minor".
        if (id->serial < 0 || id->serial > 999999 || !id->firmware.contains(QLatin1Char('.')))
            __builtin_trap();
        if (tvq52::firmwareNumber(id->firmware) < 0)
            __builtin_trap();
    } else {
        const auto& fault = std::get<tvq52::IdentityFault>(decoded);
        if (fault.kind == tvq52::IdentityFault::BadSerial && fault.serialText.size() != 6)
            __builtin_trap();
    }
    return 0;
}
