#include "app/database_choice.h"

#include "app/app_context.h"
#include "app/data_folder.h"
#include "app/ini_file.h"
#include "app/settings.h"

namespace tvq52 {

Result<DatabaseTarget> chooseDatabase(const std::optional<QString>& option, const QString& settingsValue,
                                      const QString& folderFile)
{
    const QString uri = (option ? *option : settingsValue).trimmed();
    if (uri.isEmpty())
        return DatabaseTarget::sqlite(folderFile);
    return DatabaseTarget::fromUri(uri);
}

Result<DatabaseTarget> resolveDatabase(const AppContext& ctx)
{
    QString settingsValue;
    // The settings file is read only when no option overrides it.
    if (!ctx.databaseOverride)
        settingsValue = IniFile::load(settingsPath(ctx.home))
                            .value(QString::fromLatin1(kSettingsSection), QStringLiteral("Database"))
                            .value_or(QString());
    return chooseDatabase(ctx.databaseOverride, settingsValue, databasePath(ctx.home));
}

} // namespace tvq52
