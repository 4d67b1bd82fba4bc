#include "db/database.h"
#include "db/store.h"
#include "exchange/exchange_writer.h"
#include "support/file_bytes.h"
#include "support/file_size_limit.h"
#include "support/rows.h"
#include "support/temp_home.h"

#include <QDir>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>

using namespace tvq52;
using namespace tvq52::test;

namespace {

} // namespace

// An export cut short by a full disk fails and says why: a small one when the
// file's buffer goes out at the end, a larger one at its first block (the
// file's closing must not wipe the reason). The file written before stays as
// it was and no piece is left beside it.
TEST(ExchangeExport, AnExportCutShortFailsAndLeavesTheEarlierFile)
{
    TempHome home;
    home.provision();
    auto db = home.openDatabase();
    Store store(*db);
    ASSERT_TRUE(store.insert("Programacion", row({{"LNumeroSerie", 4711}, {"TLocal", "Sala Apolo"}})));
    const QString path = home.file(QStringLiteral("units.TQ52"));
    const QByteArray earlier("//Intervalos//\r\nwhat was exported last week\r\n");
    ASSERT_TRUE(writeBytes(path, earlier));
    int stored = 0;
    for (const int intervals : {3, 400}) {
        for (; stored < intervals; ++stored)
            ASSERT_TRUE(store.insert("Intervalos",
                                     row({{"LNumeroSerie", 4711},
                                          {"DFechaInicio", QDate(2025, 12, 1).addDays(stored / 96)},
                                          {"THoraInicio", QTime(0, 0).addSecs(stored % 96 * 900).toString("HH:mm")},
                                          {"SLeqLocal", 70.5}})));
        {
            FileSizeLimit limit(512);
            const Result<qint64> rows = writeExchangeFile(*db, path, {4711});
            ASSERT_FALSE(rows) << "reported as written";
            EXPECT_EQ(rows.error().detail, QString::fromLocal8Bit(std::strerror(EFBIG))) << intervals;
        }
        EXPECT_EQ(readBytes(path), earlier);
        EXPECT_EQ(QDir(home.path()).entryList({QStringLiteral("units.TQ52*")}, QDir::Files),
                  QStringList{QStringLiteral("units.TQ52")});
    }

    const Result<qint64> rows = writeExchangeFile(*db, path, {4711});
    ASSERT_TRUE(rows) << rows.error().detail.toStdString();
    EXPECT_EQ(*rows, 401);
    EXPECT_GT(readBytes(path).size(), 512);
}
