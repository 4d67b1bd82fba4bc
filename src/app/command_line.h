#pragma once

#include "core/error.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

namespace tvq52 {

struct AppContext;
class Prompter;

// The argument text with blanks trimmed and the first two double quotes
// removed (a third one stays).
QString GetCommandLineFile(const QString& commandLine);

// The argument as a later start hands it to the running program, which
// works in a folder of its own: an exchange file's name made absolute
// against `folder` and quoted, so that it arrives exactly as meant; anything
// else as it is.
QString handOverArgument(const QString& argument, const QString& folder);

// Program options taken off the command line; what is left is the argument.
struct CommandLine {
    QString home;     // --home DIR
    QString database; // --database URI: the records' store instead of the settings' choice
    QString argument; // joined as the command line would show it
    bool help = false;
    bool version = false;
    std::optional<Error> fault; // set when the options do not parse
    QString error;              // the fault's text untranslated
};

// An argument starting with "-" is an option: one the program does not know
// is refused rather than taken for a serial number. "--" ends the options.
CommandLine parseCommandLine(const QStringList& arguments);

// The same, from main's own arguments, before any Qt application exists.
CommandLine parseCommandLine(int argc, const char* const* argv);

// What `tvq52 --help` prints, its words through `translate` (without one,
// as written).
QString commandLineUsage(const std::function<QString(const QString&)>& translate = {});

// The data folder `home`'s context with only the user's language set up,
// read from its settings file when there is one (else the system's),
// without laying out, moving or writing anything: what a refused command
// line needs to say why.
std::unique_ptr<AppContext> languageOnly(const QString& home, Prompter& prompter);
// The same before anything can be shown: a failure goes to standard error.
std::unique_ptr<AppContext> languageOnly(const QString& home);

// "PROGRAM: WHY" in the language of the data folder `home` (--home, else the
// usual one), for a command line refused before anything started.
QString refusalLine(const QString& program, const QString& home, const Error& why);

} // namespace tvq52
