#pragma once

#include "i18n/loc_guru.h"
#include "link/clock.h"
#include "link/device_link.h"
#include "link/link_state.h"
#include "link/link_timer.h"
#include "link/memory_line.h"
#include "support/scripted_prompter.h"

namespace tvq52::test {

// A link over an in-memory line on a clock that moves only while the link
// waits: the unit's replies come exactly when scheduled, however busy the
// machine is.
struct MemoryLink {
    VirtualClock clock;
    MemoryLine line{clock};
    LinkState state;
    ScriptedPrompter prompter;
    LocGuru guru;
    DeviceLink link{state, line, clock, prompter, guru};
    LinkTimer timer{clock, 5000};

    MemoryLink() { line.open(); }
};

} // namespace tvq52::test
