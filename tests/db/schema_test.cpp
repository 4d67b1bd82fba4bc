#include "app/data_folder.h"
#include "db/database.h"
#include "db/schema.h"
#include "db/store.h"
#include "support/result_checks.h"
#include "support/rows.h"
#include "support/temp_home.h"

#include <QSqlQuery>
#include <QSqlRecord>
#include <gtest/gtest.h>

using namespace tvq52;
using tvq52::test::row;
using tvq52::test::TempHome;

namespace {

struct OpenDb {
    TempHome home;
    std::unique_ptr<Database> db;
    OpenDb()
    {
        home.provision();
        db = home.openDatabase();
    }
};

QStringList columnsOf(const Database& db, const char* table)
{
    const QSqlRecord r = db.connection().record(QString::fromLatin1(table));
    QStringList names;
    for (int i = 0; i < r.count(); ++i)
        names << r.fieldName(i);
    return names;
}

} // namespace

TEST(Schema, NewDatabaseHasTheEightTablesAndTheJournalsWithTheirExactColumns)
{
    // The data folder's own file, whatever the run: a server's layout is
    // checked with the server database tests.
    OpenDb o;
    o.db = test::take(Database::openSqlite(databasePath(o.home.path())));
    ASSERT_TRUE(o.db);
    QStringList tables = o.db->connection().tables();
    tables.sort();
    EXPECT_EQ(tables,
              QStringList({"Configuracion", "DiaBorrado", "DiaFinalBateria", "DiaReprogramado", "Diario",
                           "DiarioRegistros", "DiarioVerificado", "IntervaloInhabil", "Intervalos", "NochesExcedidas",
                           "Programacion", "Sesiones"}));
    EXPECT_EQ(columnsOf(*o.db, "NochesExcedidas"), QStringList({"LNumeroSerie", "DNoche", "BoLocal", "BoVecino"}));
    EXPECT_EQ(columnsOf(*o.db, "DiarioVerificado"),
              QStringList({"LNumeroSerie", "TFechaHora", "BoCorrecto", "THead"}));
    const QStringList programacion = columnsOf(*o.db, "Programacion");
    ASSERT_EQ(programacion.size(), 56);
    EXPECT_EQ(programacion[0], QStringLiteral("LNumeroSerie"));
    EXPECT_EQ(programacion[38], QStringLiteral("SOctava31,5Hz"));
    EXPECT_EQ(programacion[55], QStringLiteral("CMI"));
    EXPECT_EQ(columnsOf(*o.db, "Intervalos").size(), 35);
    EXPECT_EQ(columnsOf(*o.db, "Sesiones").size(), 31);
    EXPECT_EQ(columnsOf(*o.db, "IntervaloInhabil"),
              QStringList({"LNumeroSerie", "ByIntervalo", "TDiaEmpiezaInt", "THoraEmpiezaInt", "TDiaTerminaInt",
                           "THoraTerminaInt"}));
    for (const char* t : {"DiaBorrado", "DiaFinalBateria", "DiaReprogramado"})
        EXPECT_EQ(columnsOf(*o.db, t), QStringList({"LNumeroSerie", "DFecha", "THora"}));
    EXPECT_EQ(columnsOf(*o.db, "Configuracion"),
              QStringList({"ByCom", "IIdioma", "ByTono", "ByModem", "TPrefijo", "IModemSpeed", "TUsuario", "Memo"}));
    EXPECT_TRUE(o.db->verifySchema().isEmpty());
    Store store(*o.db);
    EXPECT_EQ(test::take(store.count(QStringLiteral("Configuracion"))), 1);
}

TEST(Schema, KeysRefuseDuplicates)
{
    OpenDb o;
    Store store(*o.db);
    const QDate day(2024, 3, 9);
    auto started = [&](int serial, const char* time) {
        return row({{"LNumeroSerie", serial}, {"DFechaInicio", day}, {"THoraInicio", time}});
    };
    auto event = [&](int serial, const QDate& date, const char* time) {
        return row({{"LNumeroSerie", serial}, {"DFecha", date}, {"THora", time}});
    };
    struct Case {
        const char* table;
        Row first;
        Row same;
        Row other;
    };
    Row sameStart = started(5, "10:00");
    sameStart.set(QStringLiteral("SLeqLocal"), 80.0);
    const Case cases[] = {
        {"Programacion", row({{"LNumeroSerie", 5}}), row({{"LNumeroSerie", 5}, {"TLocal", "x"}}),
         row({{"LNumeroSerie", 6}})},
        {"IntervaloInhabil", row({{"LNumeroSerie", 5}, {"ByIntervalo", 1}}),
         row({{"LNumeroSerie", 5}, {"ByIntervalo", 1}}), row({{"LNumeroSerie", 5}, {"ByIntervalo", 2}})},
        {"Intervalos", started(5, "10:00"), sameStart, started(5, "10:05")},
        {"Sesiones", started(5, "22:00"), started(5, "22:00"), started(6, "22:00")},
        {"DiaBorrado", event(5, day, "01:02"), event(5, day, "01:02"), event(5, day.addDays(1), "01:02")},
        {"DiaFinalBateria", event(5, day, "01:02"), event(5, day, "01:02"), event(5, day, "01:03")},
        {"DiaReprogramado", event(5, day, "01:02"), event(5, day, "01:02"), event(7, day, "01:02")},
    };
    for (const Case& c : cases) {
        const QString t = QString::fromLatin1(c.table);
        ASSERT_TRUE(test::succeeded(store.insert(t, c.first))) << c.table;
        EXPECT_FALSE(store.insert(t, c.same)) << c.table;
        EXPECT_TRUE(store.insert(t, c.other)) << c.table;
        EXPECT_EQ(test::take(store.count(t)), 2) << c.table;
    }
}

TEST(Schema, ValuesOutsideTheirTypeAreRefused)
{
    OpenDb o;
    Store store(*o.db);
    Row r = row({{"LNumeroSerie", 1}, {"ByRings", 256}});
    EXPECT_FALSE(store.insert(QStringLiteral("Programacion"), r));
    r.set(QStringLiteral("ByRings"), 255);
    EXPECT_TRUE(store.insert(QStringLiteral("Programacion"), r));
    QSqlQuery q(o.db->connection());
    EXPECT_FALSE(q.exec(QStringLiteral("INSERT INTO \"DiaBorrado\" VALUES (1, '09/03/2024', '10:00')")));
}

TEST(Schema, PostgresStatementsQuoteEveryNameAndUsePortableTypes)
{
    const QStringList statements = createSchemaStatements(SqlDialect::PostgreSQL);
    const QString all = statements.join(QLatin1Char('\n'));
    EXPECT_TRUE(all.contains(QStringLiteral("\"SOctava31,5Hz\" REAL")));
    EXPECT_FALSE(all.contains(QStringLiteral("GLOB")));
    EXPECT_TRUE(all.contains(QStringLiteral(
        "CREATE UNIQUE INDEX \"PrimaryKey\" ON \"Intervalos\" (\"LNumeroSerie\", \"DFechaInicio\", \"THoraInicio\")")));
    // The settings row is each PC's own: never in a shared database.
    EXPECT_EQ(statements.filter(QStringLiteral("CREATE TABLE")).size(), 7);
    EXPECT_FALSE(all.contains(QStringLiteral("\"Configuracion\"")));
}
