#include "app/gui/fleet_loader.h"

#include "app/app_context.h"
#include "db/database.h"

namespace tvq52 {

Result<std::vector<FleetUnit>> loadOfficeFleet(AppContext& ctx, const FleetOptions& options)
{
    if (!ctx.db)
        return std::vector<FleetUnit>{};
    return loadFleet(*ctx.db, options);
}

} // namespace tvq52
