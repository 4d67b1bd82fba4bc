#pragma once

#include <QString>
#include <optional>

namespace tvq52 {

struct AppContext;

inline constexpr char kSettingsSection[] = "Configuration";

// Reads the seven settings keys (and the optional device path) into the
// context, in the order start-up reads them. A key that is missing or does not
// convert stops the reading with a description of the fault; what was read
// before it stays. `languageValue` receives the "Language" text.
std::optional<QString> readStartupSettings(AppContext& ctx, QString* languageValue);

// What the communication dialog accepts.
struct CommChoice {
    QString portText;      // a port number, or a device path
    QString dialPrefix;
    bool pulse = false;
    bool modem = false;
};

// Applies and writes the communication settings. Fails, changing nothing,
// when the port text is neither a number 0..255 nor a device path.
std::optional<QString> acceptCommSettings(AppContext& ctx, const CommChoice& choice);

// The text the port box shows for the current settings.
QString portText(const AppContext& ctx);

// Makes `code` the interface language and writes its locale identifier (codes
// outside the seven are kept in memory only).
void acceptLanguage(AppContext& ctx, int code);

// Keeps the whole footer text in memory and in the settings row, and its
// first 50 characters in the settings file.
std::optional<QString> acceptFooterText(AppContext& ctx, const QString& text);

// Copies the settings into the database's settings row (at exit).
std::optional<QString> writeConfigurationRow(AppContext& ctx);

} // namespace tvq52
