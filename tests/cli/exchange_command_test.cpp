#include "cli_run.h"
#include "db/store.h"
#include "support/rows.h"

using namespace tvq52;
using namespace tvq52::test;

namespace {

// Export from one folder, import into another, twice: the second import adds
// nothing; a file that is not there fails with a non-zero status.
TEST(ExchangeCommands, ExportThenImportThroughTheCommandLine)
{
    CliRuns from;
    from.home.provision();
    {
        auto db = from.home.openDatabase();
        Store store(*db);
        ASSERT_TRUE(store.insert("Programacion", row({{"LNumeroSerie", 52001}, {"TLocal", "Café ·º"}})));
        ASSERT_TRUE(store.insert("Programacion", row({{"LNumeroSerie", 52002}})));
        ASSERT_TRUE(store.insert("DiaBorrado",
                                 row({{"LNumeroSerie", 52001}, {"DFecha", QDate(2024, 5, 1)}, {"THora", "10:00"}})));
    }
    const QString file = from.home.file(QStringLiteral("unit.TQ52"));
    const CliResult exported = from({"export", file, "52001"});
    ASSERT_EQ(exported.exitCode, 0) << exported.err.toStdString();

    CliRuns to;
    to.home.provision();
    const CliResult first = to({"import", file});
    EXPECT_EQ(first.exitCode, 0) << first.err.toStdString();
    EXPECT_TRUE(first.out.contains(QStringLiteral("Programacion: 1 "))) << first.out.toStdString();
    EXPECT_TRUE(first.out.contains(QStringLiteral("DiaBorrado: 1 "))) << first.out.toStdString();
    const CliResult second = to({"import", file});
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_TRUE(second.out.contains(QStringLiteral("Programacion: 0 "))) << second.out.toStdString();
    {
        auto db = to.home.openDatabase();
        Store store(*db);
        EXPECT_EQ(store.count("Programacion"), 1); // only the unit exported
        EXPECT_EQ(store.selectOne("Programacion", row({{"LNumeroSerie", 52001}}))->value("TLocal").toString(),
                  QString::fromUtf8("Café ·º"));
    }
    EXPECT_EQ(to({"import", to.home.file(QStringLiteral("missing.TQ52"))}).exitCode, 1);
    EXPECT_EQ(to({"import"}).exitCode, 2);
    EXPECT_EQ(to({"export", file, "notanumber"}).exitCode, 2);
}

} // namespace
