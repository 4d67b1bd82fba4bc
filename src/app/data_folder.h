#pragma once

#include "core/error.h"

#include <QString>
#include <QStringList>

namespace tvq52 {

// The folder that holds the settings file, the database and the read-only
// assets: --home, else $TVQ52_HOME, else the per-user data folder.
QString resolveDataFolder(const QString& homeOption);

// Where the installed assets are: $TVQ52_ASSETS, else share/tvq52 beside the
// program's bin folder, else assets/ next to the program. Empty when none.
QString findAssetFolder();

// Lays out a missing (or empty) data folder as the installer would: the
// settings file, a new database and a copy of the assets, all or nothing. An
// existing folder of ours gets the files it lacks; nothing is ever replaced.
// True when a new folder was laid out.
Result<bool> provisionDataFolder(const QString& folder, const QString& assetFolder);

// The default contents of the settings file.
QString defaultSettingsText();

QString settingsPath(const QString& folder); // folder/tvq52.ini
QString databasePath(const QString& folder); // folder/tvq52.db
QString languageDatabasePath(const QString& folder);
QString restoreMarkerPath(const QString& folder);
QString helpFolder(const QString& folder);

} // namespace tvq52
