#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "core/error.h"
#include "db/database_target.h"

namespace tvq52 {

struct AppContext;

inline constexpr char kSettingsSection[] = "Configuration";

// The one check of a settings value, shared by the dialogs, the start-up
// reader and the command line: nothing when the program can use `value` for
// `key`, else the reason.
std::optional<Error> settingFault(const QString& key, const QString& value);

// The text the settings file keeps for a value `settingFault` accepted: a
// language in any of its spellings becomes its locale identifier; other
// values are kept as given.
QString settingToStore(const QString& key, const QString& value);

// The settings keys as they are spelled in the file.
const QStringList& settingKeys();

// Reads the seven settings keys (and the optional device path) into the
// context, in the order start-up reads them, and gives the "Language" text.
// A key that is missing or does not convert stops the reading with a
// description of the fault; what was read before it stays.
Result<QString> readStartupSettings(AppContext& ctx);

// What the communication dialog accepts.
struct CommChoice {
    QString portText; // a port number, or a device path
    QString dialPrefix;
    bool pulse = false;
    bool modem = false;
};

struct CommFault {
    enum class Field { Port, DialPrefix, File };
    QString text;
    Field field = Field::Port;
    int catalogueId = 0;
};

// Applies and writes the communication settings. Fails, changing nothing in
// memory, when the port text is neither a number 0..255 nor a device path or
// the prefix holds what is not dialled; fails, leaving the file as it was,
// when the file cannot be written.
std::optional<CommFault> acceptCommSettings(AppContext& ctx, const CommChoice& choice);

// The text the port box shows for the current settings.
QString portText(const AppContext& ctx);

// Makes `code` the interface language and writes its locale identifier (codes
// outside the seven are kept in memory only). The fault says the file could
// not be written.
Status acceptLanguage(AppContext& ctx, int code);

// The most characters a report's footer text holds.
inline constexpr int kFooterTextLength = 50;

// Keeps the footer text in memory, in the settings file and in the settings
// row. A text longer than kFooterTextLength is refused and nothing changes;
// when the file cannot be written the row is left as it was.
Status acceptFooterText(AppContext& ctx, const QString& text);

// The footer text every report prints: the settings file's "User", which
// `tvq52-cli config set` may have changed since start-up; an unreadable file
// leaves the text in memory.
QString reportFooterText(AppContext& ctx);

// Copies the settings into the database's settings row (at exit).
Status writeConfigurationRow(AppContext& ctx);

// Writes the choice to the settings file (a server's address without any
// password, or no address for the data folder's file) and makes it this
// run's choice.
Status acceptDatabase(AppContext& ctx, const DatabaseTarget& target);

} // namespace tvq52
