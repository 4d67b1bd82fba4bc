#include "programming/program_line.h"

#include "app/app_context.h"
#include "link/serial_line.h"

namespace tvq52 {

Line& programLine(AppContext& ctx)
{
    if (!ctx.line) {
        ctx.line = std::make_unique<SerialLine>();
        ctx.line->setDeviceName(serialDeviceName(ctx.link));
    }
    return *ctx.line;
}

} // namespace tvq52
