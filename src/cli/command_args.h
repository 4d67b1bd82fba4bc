#pragma once

#include "core/error.h"

#include <QDateTime>
#include <QMap>
#include <QSet>
#include <QStringList>
#include <optional>
#include <vector>

namespace tvq52 {

class Translator;

// What one command takes after its name, and its help: the synopsis lines
// and what it does, kept beside the command that runs it.
struct CommandArgs;

struct CommandSyntax {
    const char* name;
    const char* synopsis; // one or more lines, each a form of the command
    // What it does, in native texts the help translates and flows into
    // indented lines; a text ending in "\n" ends its paragraph.
    std::vector<const char*> description;
    QStringList flags = {};  // options without a value
    QStringList valued = {}; // options that take one value
    int minArguments = 0;
    int maxArguments = 0; // -1: any number
    // What is wrong with the words beyond their shape, told before the data
    // folder is touched; null when the shape is all there is to check.
    std::optional<Error> (*fault)(const CommandArgs&) = nullptr;
};

// A command's arguments, once they parsed.
struct CommandArgs {
    QStringList arguments; // the words that are no option, in order
    QMap<QString, QString> values;
    QSet<QString> flags;

    bool has(const char* flag) const { return flags.contains(QLatin1String(flag)); }
    std::optional<QString> value(const char* option) const;
};

// The words after the command's name. Options come in any order, each at
// most once, a value as the next word or after "="; after "--" every word
// is an argument.
Result<CommandArgs> parseCommandArgs(const QStringList& words, const CommandSyntax& syntax);

// "usage: tvq52-cli [options] SYNOPSIS", one line per form.
QString usageLines(const Translator& translator, const CommandSyntax& syntax);
// The description in the user's language, indented four columns.
QString descriptionLines(const Translator& translator, const CommandSyntax& syntax);
// The command's whole help: usage, description and a pointer to the shared options.
QString commandHelp(const Translator& translator, const CommandSyntax& syntax);

// `text` broken between words into lines of at most kHelpWidth columns, the
// first after `first`, the others after `indent` spaces; each line ends in "\n".
inline constexpr qsizetype kHelpWidth = 79;
QString flowedLines(const QString& text, const QString& first, qsizetype indent);

// Says on standard error why the command's words were refused, with its
// usage under it; the exit status of a usage error.
int refuseUsage(const Translator& translator, const Error& error, const CommandSyntax& syntax);

// --from or --to as a wall-clock reading (a --to date alone takes in its
// whole day); nothing when the option was not given.
Result<std::optional<QDateTime>> whenOption(const CommandArgs& args, const char* option);

// A serial number as an argument: a whole number above 0.
std::optional<qint32> serialArgument(const QString& text);

} // namespace tvq52
