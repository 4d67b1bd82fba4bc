#pragma once

#include <QStringList>

namespace tvq52 {

struct AppContext;

// "config get KEY" prints a setting of the data folder; "config set KEY
// VALUE" writes it. Only the keys the program reads are accepted.
int runConfig(AppContext& ctx, const QStringList& arguments);

} // namespace tvq52
