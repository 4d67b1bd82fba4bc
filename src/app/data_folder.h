#pragma once

#include "core/error.h"

#include <QString>
#include <QStringList>
#include <functional>

namespace tvq52 {

// The folder that holds the user's data (settings file, database, a
// translator's language database): --home, else $TVQ52_HOME, else the
// per-user data folder ~/.local/share/tvq52.
QString resolveDataFolder(const QString& homeOption);

// What became of a data folder of the former place, the subfolder tvq52 of
// the per-user data folder.
struct FormerFolder {
    enum class Outcome { None, Moved, Kept };
    Outcome outcome = Outcome::None;
    QString from; // the former folder
    QString to;   // the per-user data folder
    QString why;  // Kept: why it could not be moved
};

struct DataFolderChoice {
    QString folder; // the one to use: the former one when it had to be kept
    FormerFolder former;
};

// resolveDataFolder, and when it gives the per-user folder, a former folder
// there is moved into it once, entry by entry. When that cannot be done
// whole, every entry moved goes back and the former folder stays in use.
DataFolderChoice chooseDataFolder(const QString& homeOption);

// Moves the entries of `former` into `folder` and removes `former`; all or
// nothing. `folder` may hold `former` itself, nothing else of the same name.
FormerFolder moveFormerFolder(const QString& former, const QString& folder);

// The sentence that tells the user what became of a former folder, built
// from texts `translate` puts in the user's language; empty for None.
QString formerFolderNotice(const FormerFolder& former, const std::function<QString(const QString&)>& translate);

// Where the installed assets are: $TVQ52_ASSETS, else share/tvq52 beside the
// program's bin folder, else assets/ next to the program. Empty when none.
QString findAssetFolder();

// Lays out a missing (or empty) data folder: the settings file (in the
// system's language when it is one of the seven) and a new database, all or
// nothing. The shipped assets stay in the installation. An existing folder
// of ours whose set-up was cut short is completed; nothing is ever replaced.
// Copies of the assets that earlier versions made in it are retired once:
// those of the help pages and report templates go, a copied language
// database stays but no longer outranks the installed one.
// A folder holding the user's data gets the settings keys its file lacks
// (a whole file when there is none, as a restored database comes alone),
// with the values a new folder gets; what is written stays as it is. The
// keys added go to `settingsAdded`.
// True when a new folder was laid out.
Result<bool> provisionDataFolder(const QString& folder, QStringList* settingsAdded = nullptr);

// The sentence that tells the user which settings keys were added to the
// settings file of `folder`; empty when none were.
QString settingsAddedNotice(const QString& folder, const QStringList& keys,
                            const std::function<QString(const QString&)>& translate);

// The default contents of the settings file, with `languageId` as its
// language; without one, the system's (Spanish when it is none of the seven).
QString defaultSettingsText(const QString& languageId = {});

// The language database start-up reads: the data folder's own when the
// export has written one since the installed one was built (a translator's
// work), else the installed one.
QString languageDatabaseToRead(const QString& folder, const QString& assetFolder);

// Gives the data folder a language database the export can write into: a
// copy of the installed one when it has none. Its own is kept as it is.
Status prepareLanguageExport(const QString& folder, const QString& assetFolder);

QString settingsPath(const QString& folder);         // folder/tvq52.ini
QString databasePath(const QString& folder);         // folder/tvq52.db
QString languageDatabasePath(const QString& folder); // folder/Language.db
QString restoreMarkerPath(const QString& folder);
QString helpFolder(const QString& assetFolder); // the installed help pages

} // namespace tvq52
