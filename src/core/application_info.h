#pragma once

#include <QString>

namespace tvq52 {

// The name every window and message box of the program carries.
inline constexpr char kApplicationTitle[] = "TVQ-52";

// True when the arguments (argv as given) ask for the version. It is looked
// for before anything starts, so that it needs no display or data folder.
bool asksForVersion(int argc, const char* const* argv);
// "NAME VERSION" and a line end, as --version prints it.
QString versionLine(const QString& program);

} // namespace tvq52
