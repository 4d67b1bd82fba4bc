// Feeds arbitrary frames to the real-time reading decoder and the display
// rules; the display must stay inside what the monitor's widgets can show.
#include "i18n/translator.h"
#include "monitor/real_time_reading.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto reading = tvq52::decodeReading(data, int(size));
    if (!reading)
        return 0;
    static const tvq52::Translator translator;
    const tvq52::ReadingDisplay d = tvq52::displayReading(*reading, translator, QLatin1Char(','));
    if (d.bar < 0 || d.bar > tvq52::kBarMaximum)
        __builtin_trap();
    if (d.levelDb && (*d.levelDb < 60.0 || *d.levelDb > 120.0))
        __builtin_trap();
    // The level label holds "---", "UND", "UP" or 60,0 to 120,0.
    if (d.level.isEmpty() || d.level.size() > 5)
        __builtin_trap();
    return 0;
}
