#include "app/data_folder.h"
#include "db/database.h"
#include "db/store.h"
#include "support/rows.h"
#include "support/temp_home.h"

#include "support/folder_database.h"
#include "support/result_checks.h"
#include <QSqlQuery>
#include <gtest/gtest.h>

using namespace tvq52;
using tvq52::test::FolderDatabaseTest;
using tvq52::test::row;
using tvq52::test::TempHome;

namespace {

class StoreTest : public FolderDatabaseTest {
protected:
    void addUnitWithData(int serial)
    {
        ASSERT_TRUE(test::succeeded(store->insert(
            "Programacion", row({{"LNumeroSerie", serial}, {"TLocal", QStringLiteral("Sala %1").arg(serial)}}))));
        for (int i = 1; i <= 3; ++i)
            ASSERT_TRUE(store->insert("IntervaloInhabil", row({{"LNumeroSerie", serial}, {"ByIntervalo", i}})));
        for (const char* t : {"Intervalos", "Sesiones"})
            ASSERT_TRUE(store->insert(
                t, row({{"LNumeroSerie", serial}, {"DFechaInicio", QDate(2024, 1, 2)}, {"THoraInicio", "10:00"}})));
        for (const char* t : {"DiaBorrado", "DiaFinalBateria", "DiaReprogramado"})
            ASSERT_TRUE(
                store->insert(t, row({{"LNumeroSerie", serial}, {"DFecha", QDate(2024, 1, 2)}, {"THora", "10:00"}})));
    }
    qint64 rowsOf(int serial)
    {
        const Row key = row({{"LNumeroSerie", serial}});
        qint64 n = 0;
        for (const char* t : {"Programacion", "IntervaloInhabil", "Intervalos", "Sesiones", "DiaBorrado",
                              "DiaFinalBateria", "DiaReprogramado"})
            n += test::take(store->count(QString::fromLatin1(t), key));
        return n;
    }
};

} // namespace

TEST_F(StoreTest, ValuesComeBackAsTheirTypesWhateverTheCaseOfTheName)
{
    const Row r = row({{"lnumeroserie", 77},
                       {"DFecha", QDate(2023, 12, 31)},
                       {"SOctava31,5Hz", 12.3},
                       {"BoCambioHora", true},
                       {"TIdioma", QStringLiteral("Français")},
                       {"TTipoActuacionLocal", "Leq125ms"}});
    ASSERT_TRUE(test::succeeded(store->insert(QStringLiteral("Programacion"), r)));
    const auto got = test::take(store->selectOne(QStringLiteral("programacion"), row({{"LNUMEROSERIE", 77}})));
    ASSERT_TRUE(got);
    EXPECT_EQ(got->value(QStringLiteral("DFecha")).toDate(), QDate(2023, 12, 31));
    EXPECT_FLOAT_EQ(got->value(QStringLiteral("soctava31,5hz")).toFloat(), 12.3f);
    EXPECT_EQ(got->value(QStringLiteral("BoCambioHora")).toBool(), true);
    EXPECT_EQ(got->value(QStringLiteral("TIdioma")).toString(), QStringLiteral("Français"));
    EXPECT_EQ(got->value(QStringLiteral("TTipoActuacionLocal")).toString(), QStringLiteral("Leq125ms"));
    // Dates are stored as text that sorts.
    QSqlQuery q(db->connection());
    ASSERT_TRUE(q.exec(QStringLiteral("SELECT \"DFecha\" FROM \"Programacion\"")) && q.next());
    EXPECT_EQ(q.value(0).toString(), QStringLiteral("2023-12-31"));
}

TEST_F(StoreTest, UnknownColumnsAndTablesAreErrorsNotSql)
{
    Row r;
    r.set(QStringLiteral("LNumeroSerie\" ; DROP TABLE \"Programacion"), 1);
    const Status inserted = store->insert(QStringLiteral("Programacion"), r);
    ASSERT_FALSE(inserted);
    EXPECT_FALSE(untranslatedText(inserted.error()).isEmpty());
    EXPECT_FALSE(store->select(QStringLiteral("Programacion; DROP TABLE x")));
    EXPECT_FALSE(store->select(QStringLiteral("Programacion"), {}, {QStringLiteral("1; DROP")}));
    EXPECT_TRUE(db->verifySchema().isEmpty());
}

TEST_F(StoreTest, ContainmentSearchTreatsQuotesAndWildcardsAsText)
{
    const char* names[] = {"Bar O'Hara", "100% Rock", "Sala_Uno", "SalaXUno", "Otro", "Ávila"};
    int serial = 1200;
    for (const char* n : names)
        ASSERT_TRUE(store->insert(QStringLiteral("Programacion"),
                                  row({{"LNumeroSerie", serial++}, {"TLocal", QString::fromUtf8(n)}})));
    auto locals = [&](const QString& fragment) {
        QStringList out;
        for (const Row& r : test::take(store->selectContaining(QStringLiteral("Programacion"), QStringLiteral("TLocal"),
                                                               fragment, {QStringLiteral("LNumeroSerie")})))
            out << r.value(QStringLiteral("TLocal")).toString();
        return out;
    };
    EXPECT_EQ(locals(QStringLiteral("O'H")), QStringList({"Bar O'Hara"}));
    EXPECT_EQ(locals(QStringLiteral("%")), QStringList({"100% Rock"}));
    EXPECT_EQ(locals(QStringLiteral("a_U")), QStringList({"Sala_Uno"}));
    EXPECT_EQ(locals(QStringLiteral("sala")), QStringList({"Sala_Uno", "SalaXUno"}));
    EXPECT_EQ(locals(QStringLiteral("ávila")), QStringList({"Ávila"}));
    EXPECT_TRUE(locals(QStringLiteral("' OR '1'='1")).isEmpty());
    // Numbers are searched by their decimal text.
    QStringList serials;
    for (const Row& r :
         test::take(store->selectContaining(QStringLiteral("Programacion"), QStringLiteral("LNumeroSerie"),
                                            QStringLiteral("120"), {QStringLiteral("LNumeroSerie DESC")})))
        serials << r.value(QStringLiteral("LNumeroSerie")).toString();
    EXPECT_EQ(serials, QStringList({"1205", "1204", "1203", "1202", "1201", "1200"}));
}

TEST_F(StoreTest, DeleteUnitRemovesAllItsRowsAndNothingElseOrNothingAtAll)
{
    addUnitWithData(10);
    addUnitWithData(11);
    ASSERT_EQ(rowsOf(10), 1 + 3 + 2 + 3);
    ASSERT_TRUE(test::succeeded(store->deleteUnit(10)));
    EXPECT_EQ(rowsOf(10), 0);
    EXPECT_EQ(rowsOf(11), 9);
    // Make the last delete fail: the earlier ones, the unit's row first, must come back.
    QSqlQuery q(db->connection());
    if (test::onServerBackend()) {
        ASSERT_TRUE(
            q.exec(QStringLiteral("CREATE FUNCTION keep() RETURNS trigger LANGUAGE plpgsql AS "
                                  "$$BEGIN RAISE EXCEPTION 'kept'; END$$")));
        ASSERT_TRUE(q.exec(QStringLiteral(
            "CREATE TRIGGER keep BEFORE DELETE ON \"DiaReprogramado\" FOR EACH ROW EXECUTE FUNCTION keep()")));
    } else {
        ASSERT_TRUE(q.exec(QStringLiteral(
            "CREATE TRIGGER keep BEFORE DELETE ON \"DiaReprogramado\" BEGIN SELECT RAISE(ABORT, 'kept'); END")));
    }
    const Status deleted = store->deleteUnit(11);
    ASSERT_FALSE(deleted);
    EXPECT_TRUE(untranslatedText(deleted.error()).contains(QStringLiteral("kept")));
    EXPECT_EQ(rowsOf(11), 9);
}

TEST_F(StoreTest, UpsertUpdatesByKeyAndInsertIfAbsentNeverDuplicates)
{
    Row r = row({{"LNumeroSerie", 3}, {"TLocal", "uno"}});
    ASSERT_TRUE(store->upsert(QStringLiteral("Programacion"), r));
    r.set(QStringLiteral("TLocal"), QStringLiteral("dos"));
    ASSERT_TRUE(store->upsert(QStringLiteral("Programacion"), r));
    EXPECT_EQ(test::take(store->count(QStringLiteral("Programacion"))), 1);
    EXPECT_EQ(
        test::take(store->select(QStringLiteral("Programacion"))).value(0).value(QStringLiteral("TLocal")).toString(),
        QStringLiteral("dos"));

    const Row e = row({{"LNumeroSerie", 3}, {"DFecha", QDate(2024, 5, 1)}, {"THora", "08:00"}});
    EXPECT_TRUE(test::take(store->insertIfAbsent(QStringLiteral("DiaBorrado"), e)));
    const Result<bool> again = store->insertIfAbsent(QStringLiteral("DiaBorrado"), e);
    ASSERT_TRUE(test::succeeded(again.status()));
    EXPECT_FALSE(*again);
    EXPECT_EQ(test::take(store->count(QStringLiteral("DiaBorrado"))), 1);
}

TEST_F(StoreTest, SortOrderFollowsDateThenTime)
{
    const std::pair<QDate, const char*> rows[] = {{QDate(2024, 1, 10), "09:00"},
                                                  {QDate(2023, 12, 31), "23:59"},
                                                  {QDate(2024, 1, 10), "08:30"},
                                                  {QDate(2024, 2, 1), "00:00"}};
    for (const auto& [d, t] : rows)
        ASSERT_TRUE(
            store->insert(QStringLiteral("DiaReprogramado"), row({{"LNumeroSerie", 1}, {"DFecha", d}, {"THora", t}})));
    QStringList order;
    for (const Row& r : test::take(store->select(QStringLiteral("DiaReprogramado"), {},
                                                 {QStringLiteral("DFecha DESC"), QStringLiteral("THORA DESC")})))
        order << r.value(QStringLiteral("DFecha")).toDate().toString(Qt::ISODate) + QLatin1Char(' ')
                + r.value(QStringLiteral("THora")).toString();
    EXPECT_EQ(order, QStringList({"2024-02-01 00:00", "2024-01-10 09:00", "2024-01-10 08:30", "2023-12-31 23:59"}));
}
