#pragma once

namespace tvq52 {

struct AppContext;
class Prompter;

// Opens the help page of the interface language in the system browser.
// Every window's help button calls this.
void openHelp(const AppContext& ctx, Prompter& prompter);

} // namespace tvq52
