#include "db/database.h"
#include "db/store.h"
#include "exchange/exchange_writer.h"
#include "support/file_bytes.h"
#include "support/file_size_limit.h"
#include "support/rows.h"
#include "support/temp_home.h"

#include <QDir>
#include <gtest/gtest.h>

using namespace tvq52;
using namespace tvq52::test;

namespace {

} // namespace

// A small export cut short by a full disk: its last part only fails when the
// file's buffer goes out, which must count as a failure too. The file written
// before stays as it was and no piece is left beside it.
TEST(ExchangeExport, AnExportCutShortFailsAndLeavesTheEarlierFile)
{
    TempHome home;
    home.provision();
    auto db = home.openDatabase();
    Store store(*db);
    ASSERT_TRUE(store.insert("Programacion", row({{"LNumeroSerie", 4711}, {"TLocal", "Sala Apolo"}})));
    for (int k = 0; k < 3; ++k)
        ASSERT_TRUE(store.insert("Intervalos",
                                 row({{"LNumeroSerie", 4711},
                                      {"DFechaInicio", QDate(2025, 12, 1)},
                                      {"THoraInicio", QTime(10, 10 * k).toString("HH:mm")},
                                      {"SLeqLocal", 70.5}})));
    const QString path = home.file(QStringLiteral("units.TQ52"));
    const QByteArray earlier("//Intervalos//\r\nwhat was exported last week\r\n");
    ASSERT_TRUE(writeBytes(path, earlier));
    {
        FileSizeLimit limit(512);
        const Result<qint64> rows = writeExchangeFile(*db, path, {4711});
        ASSERT_FALSE(rows) << "reported as written";
        EXPECT_FALSE(rows.error().detail.isEmpty());
    }
    EXPECT_EQ(readBytes(path), earlier);
    EXPECT_EQ(QDir(home.path()).entryList({QStringLiteral("units.TQ52*")}, QDir::Files),
              QStringList{QStringLiteral("units.TQ52")});

    const Result<qint64> rows = writeExchangeFile(*db, path, {4711});
    ASSERT_TRUE(rows) << rows.error().detail.toStdString();
    EXPECT_EQ(*rows, 4);
    EXPECT_GT(readBytes(path).size(), 512);
}
