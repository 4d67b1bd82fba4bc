#pragma once

namespace tvq52 {

struct AppContext;
class Line;

// The one serial line of the run, created on first use, so that a modem call
// left up serves the next exchange of any window or command.
Line& programLine(AppContext& ctx);

} // namespace tvq52
