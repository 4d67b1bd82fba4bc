#include "support/temp_home.h"

#include "app/data_folder.h"
#include "app/ini_file.h"
#include "app/settings.h"

#include <QFile>
#include <gtest/gtest.h>

namespace tvq52::test {

TempHome::TempHome()
{
    EXPECT_TRUE(dir_.isValid());
}

void TempHome::provision() const
{
    const ProvisionResult r = provisionDataFolder(path(), findAssetFolder());
    ASSERT_TRUE(r.error.isEmpty()) << r.error.toStdString();
    ASSERT_TRUE(r.provisioned);
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
    QString error;
    auto db = Database::openSqlite(databasePath(path()), &error);
    EXPECT_TRUE(db) << error.toStdString();
    return db;
}

} // namespace tvq52::test
