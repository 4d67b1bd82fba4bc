#include "support/temp_home.h"

#include "app/data_folder.h"
#include "app/ini_file.h"
#include "app/settings.h"
#include "support/result_checks.h"

#include <QFile>
#include <gtest/gtest.h>

namespace tvq52::test {

TempHome::TempHome()
{
    EXPECT_TRUE(dir_.isValid());
}

void TempHome::provision() const
{
    const Result<bool> provisioned = provisionDataFolder(path());
    ASSERT_TRUE(succeeded(provisioned.status()));
    ASSERT_TRUE(*provisioned);
    if (onServerBackend()) {
        server_ = std::make_unique<ServerTestDatabase>();
        IniFile ini = IniFile::load(settingsPath(path()));
        ini.setValue(QString::fromLatin1(kSettingsSection), QStringLiteral("Database"), server_->uri());
        ASSERT_TRUE(ini.save(settingsPath(path())));
    }
}

void TempHome::writeFile(const QString& name, const QByteArray& contents) const
{
    QFile f(file(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(contents);
}

std::unique_ptr<Database> TempHome::openDatabase() const
{
    if (server_)
        return server_->open();
    return take(Database::openSqlite(databasePath(path())));
}

} // namespace tvq52::test
