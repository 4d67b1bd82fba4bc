#pragma once

#include "app/app_context.h"
#include "app/exchange_sessions.h"
#include "cli/console_prompter.h"
#include "core/error.h"
#include "link/clock.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>
#include <memory>
#include <optional>

namespace tvq52 {

// The options every subcommand shares: the data folder and the line.
struct CliOptions {
    QString home;
    std::optional<QString> database; // --database URI
    QString device;
    QStringList devices; // every --device given, in order (collect takes several lines)
    std::optional<int> port;
    std::optional<bool> modem;
    std::optional<bool> pulse;
    std::optional<QString> prefix;
    QString phone;
    bool assumeYes = false;
    int timeoutMs = 5000;
    bool timeoutGiven = false; // a download waits longer unless told
    // Not in --help: tests run the line's waits and pacing faster.
    double clockSpeed = 1.0;
    bool help = false;   // --help or -h
    QStringList command; // the subcommand and its arguments
    // The first shared option that did not parse; the options before it are set.
    std::optional<Error> fault;
};

// Parses the arguments after the program name. The shared options count
// wherever they stand, before or after the command; "--name=value" is
// "--name value" for every option.
CliOptions parseCliOptions(const QStringList& arguments);

// Opens the records (the data folder's file, or the server that --database
// or the settings name) into ctx.db; says why on standard error when it
// cannot. A server database must have been prepared by `init`, which passes
// `layOut`.
bool openFolderDatabase(AppContext& ctx, bool layOut = false);
// The same for a command that does `op`: a login that may not is told so,
// naming the level it needs, before anything of `op` starts.
bool openFolderDatabase(AppContext& ctx, Operation op);
// The same for a command that only reads: the folder's file is opened
// read-only, so that a folder that cannot be written is still read.
bool openFolderDatabaseToRead(AppContext& ctx);

// Whether anything of unit `serial` is stored; says on standard error that
// it is not when it is not.
bool requireStoredUnit(AppContext& ctx, qint32 serial);

// Prints `error` once on standard error, as every command reports a failure.
void printError(const Translator& translator, const Error& error);
// Prints a document of a command's --json form on standard output.
void printJson(const QJsonObject& document);
// The JSON value of a number that may be absent (0 or less: absent).
QJsonValue jsonCount(qint64 n);
// A single-precision value as the unit's single reads: the shortest number
// that reads back as the same single (20.3, not 20.299999237060547).
QJsonValue jsonSingle(float value);
// The JSON value of a text that may be absent (empty: absent).
QJsonValue jsonText(const QString& text);

// A data folder opened the way the program opens it: provisioned on first
// use, settings read, the interface language set up.
struct CliSession {
    std::unique_ptr<AppContext> ctx;
    std::unique_ptr<ConsolePrompter> prompter;
    std::unique_ptr<ScaledClock> clock;

    // Without `readSettings` only the folder is laid out (enough to mend a
    // settings file the program cannot read).
    static Result<CliSession> open(const CliOptions& options, bool readSettings = true);
    // The line settings of the folder, overridden by the options.
    void applyLineOptions(const CliOptions& options);
    // An exchange session on those settings with the options' silence limit.
    std::unique_ptr<ExchangeSession> openExchange(const CliOptions& options);
};

// The data folder's context with only the user's language set up, read
// from its settings file when there is one (else the system's), without
// laying out, moving or writing anything: what a refused command line needs.
std::unique_ptr<AppContext> languageOnly(const CliOptions& options);

} // namespace tvq52
