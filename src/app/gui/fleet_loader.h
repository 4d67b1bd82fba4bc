#pragma once

#include "core/error.h"
#include "records/fleet.h"

#include <vector>

namespace tvq52 {

struct AppContext;

// The office's units for the main window's overview; none while no records
// are open.
Result<std::vector<FleetUnit>> loadOfficeFleet(AppContext& ctx, const FleetOptions& options);

} // namespace tvq52
