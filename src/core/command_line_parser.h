#pragma once

#include "core/error.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <optional>
#include <span>

namespace tvq52 {

// One option a program takes: `--name`, with a value when `valueName` is set.
struct OptionSpec {
    QString name;           // "--home"
    QString valueName;      // "DIR"; empty: a flag
    QString alias = {};     // another spelling, "-h"
    bool repeatable = true; // false: given twice is refused

    bool takesValue() const { return !valueName.isEmpty(); }
};

// How the words that are no known option are read.
struct ParserRules {
    // A word of one dash ("-x") is an option, refused when unknown; else it
    // is an argument (a lone "-" always is).
    bool singleDashOptions = true;
    // An unknown option after the first argument is kept among the arguments,
    // for that argument (a command) to read with options of its own; "--"
    // is kept there too. Before the first argument it is refused.
    bool keepForCommand = false;
};

// The words of a command line as options and arguments.
struct ParsedWords {
    QStringList arguments;
    QList<QPair<QString, QString>> given; // option name and value, in the order given
    // The first word that did not parse; what came before it is read.
    std::optional<Error> fault;

    bool isSet(const QString& name) const;
    // The last value given, else a null string.
    QString value(const QString& name) const;
    QStringList values(const QString& name) const;
};

// Reads `words` (the program's name not among them): "--name VALUE" and
// "--name=VALUE" alike, options anywhere, each once unless repeatable; after
// "--" every word is an argument. The refusals are the program's own words,
// translated where they are shown.
ParsedWords parseWords(const QStringList& words, std::span<const OptionSpec> options, ParserRules rules = {});

// The option lines of a help text: "  --home DIR   what it does", the texts
// lined up in one column; an option without a description stands alone.
QString optionLines(std::span<const OptionSpec> options, const QStringList& descriptions);

// main's own arguments as Qt reads them, before any Qt application exists.
QStringList argumentsOf(int argc, const char* const* argv);

} // namespace tvq52
