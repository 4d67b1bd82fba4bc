#pragma once

#include <QString>
#include <QStringList>

namespace tvq52 {

// The argument text with blanks trimmed and the first two double quotes
// removed (a third one stays).
QString GetCommandLineFile(const QString& commandLine);

// Program options taken off the command line; what is left is the argument.
struct CommandLine {
    QString home;     // --home DIR
    QString database; // --database URI: the records' store instead of the settings' choice
    QString argument; // joined as the command line would show it
    bool help = false;
    bool version = false;
    QString error; // set when the options do not parse
};

// An argument starting with "-" is an option: one the program does not know
// is refused rather than taken for a serial number. "--" ends the options.
CommandLine parseCommandLine(const QStringList& arguments);

// The same, from main's own arguments, before any Qt application exists.
CommandLine parseCommandLine(int argc, const char* const* argv);

// What `tvq52 --help` prints.
QString commandLineUsage();

} // namespace tvq52
