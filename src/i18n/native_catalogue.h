#pragma once

#include <QString>
#include <optional>

namespace tvq52 {

// The built-in Spanish texts that code builds its messages from, numbered
// 1..nativeCatalogueSize(). Entries with a CR are two-line column headings.
std::optional<QString> nativeCatalogueText(int id);
int nativeCatalogueSize();

} // namespace tvq52
