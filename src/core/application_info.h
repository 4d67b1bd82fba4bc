#pragma once

#include <QString>

class QObject;

namespace tvq52 {

// The name every window and message box of the program carries.
inline constexpr char kApplicationTitle[] = "TVQ-52";

// A window's title: the unit it shows when it shows one, what the window is
// for (in the user's language) and the program's name, so that windows of
// several units tell themselves apart in the task bar:
// "4711 Bar Centro - Datos registrados - TVQ-52".
QString windowTitleOf(const QString& purpose, const QString& unit = QString());
// Gives `window` that title, and keeps the translation of a window's own
// texts, which would look the whole title up, off it.
void setWindowTitleOf(QObject* window, const QString& purpose, const QString& unit = QString());
// "SERIAL VENUE" for a title; nothing for no unit (serial 0).
QString unitCaption(qint64 serial, const QString& venue = QString());

// True when the arguments (argv as given) ask for the version. It is looked
// for before anything starts, so that it needs no display or data folder.
bool asksForVersion(int argc, const char* const* argv);
// "NAME VERSION" and a line end, as --version prints it.
QString versionLine(const QString& program);

} // namespace tvq52
