#include "support/temp_home.h"

#include "app/data_folder.h"

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
}

void TempHome::writeFile(const QString& name, const QByteArray& contents) const
{
    QFile f(file(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(contents);
}

std::unique_ptr<Database> TempHome::openDatabase() const
{
    QString error;
    auto db = Database::openSqlite(databasePath(path()), &error);
    EXPECT_TRUE(db) << error.toStdString();
    return db;
}

} // namespace tvq52::test
