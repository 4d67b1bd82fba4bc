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
    QString error; // set when the options do not parse
};

CommandLine parseCommandLine(const QStringList& arguments);

} // namespace tvq52
