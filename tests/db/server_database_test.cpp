#include "core/own_words.h"
#include "db/database.h"
#include "db/database_failure.h"
#include "db/database_target.h"
#include "db/server_rights.h"
#include "db/store.h"
#include "support/office_roles.h"
#include "support/private_server.h"
#include "support/result_checks.h"
#include "support/rows.h"
#include "support/test_backend.h"

#include <QSqlQuery>
#include <gtest/gtest.h>

using namespace tvq52;
using tvq52::test::onServerBackend;
using tvq52::test::row;
using tvq52::test::ServerTestDatabase;

namespace {

TEST(DatabaseTarget, UrisReadBackAsWrittenAndNeverCarryAPassword)
{
    struct Case {
        const char* uri;
        const char* host;
        int port;
        const char* database;
        const char* user;
        const char* options;
    };
    const Case cases[] = {
        {"postgresql://inspector@office.example:6432/tvq52", "office.example", 6432, "tvq52", "inspector", ""},
        {"postgres://db1/registros?sslmode=require&connect_timeout=5", "db1", 5432, "registros", "",
         "sslmode=require;connect_timeout=5"},
        {"postgresql://ana@/tvq52?host=/run/postgresql", "/run/postgresql", 5432, "tvq52", "ana", ""},
        {"postgresql://ana@%2Fvar%2Frun%2Fpg:5433/tvq52", "/var/run/pg", 5433, "tvq52", "ana", ""},
        {"postgresql://jos%C3%A9@10.0.0.7/ruido%20ma%C3%B1ana", "10.0.0.7", 5432, "ruido mañana", "josé", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.uri);
        const auto t = DatabaseTarget::fromUri(QString::fromUtf8(c.uri));
        ASSERT_TRUE(test::succeeded(t.status()));
        EXPECT_EQ(t->host, QString::fromUtf8(c.host));
        EXPECT_EQ(t->port, c.port);
        EXPECT_EQ(t->database, QString::fromUtf8(c.database));
        EXPECT_EQ(t->user, QString::fromUtf8(c.user));
        EXPECT_EQ(t->options, QString::fromUtf8(c.options));
        // What is written back to the settings file reads as the same place.
        const auto again = DatabaseTarget::fromUri(t->uri());
        ASSERT_TRUE(test::succeeded(again.status())) << t->uri().toStdString();
        EXPECT_EQ(*again, *t) << t->uri().toStdString();
    }
    for (const char* refused : {"postgresql://ana:secreto@db/tvq52", "postgresql://db/tvq52?password=secreto",
                                "postgresql://db/", "mysql://db/tvq52", "postgresql://db:99999/tvq52", "tvq52.db"}) {
        const auto target = DatabaseTarget::fromUri(QString::fromUtf8(refused));
        ASSERT_FALSE(target) << refused;
        const QString error = untranslatedText(target.error());
        EXPECT_FALSE(error.isEmpty()) << refused;
        EXPECT_FALSE(error.contains(QLatin1String("secreto")))
            << "the password is repeated in: " << error.toStdString();
    }
}

class ServerDatabase : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!onServerBackend())
            GTEST_SKIP() << "server run only";
    }
    static QStringList tablesOf(Database& db)
    {
        QSqlQuery q(db.connection());
        EXPECT_TRUE(
            q.exec(QStringLiteral("SELECT table_name FROM information_schema.tables "
                                  "WHERE table_schema = current_schema() ORDER BY 1")));
        QStringList names;
        while (q.next())
            names << q.value(0).toString();
        return names;
    }
};

TEST_F(ServerDatabase, AnEmptyDatabaseIsLaidOutWithTheExactNamesAndWithoutTheLocalSettingsTable)
{
    ServerTestDatabase server(false);
    auto db = server.open();
    ASSERT_TRUE(db);
    EXPECT_EQ(db->inspectSchema(), SchemaState::Empty);
    EXPECT_FALSE(db->verifySchema().isEmpty());
    ASSERT_TRUE(test::succeeded(db->layOutSchema()));
    EXPECT_EQ(db->inspectSchema(), SchemaState::Ready);
    EXPECT_TRUE(db->verifySchema().isEmpty()) << db->verifySchema().toStdString();
    const QStringList tables = tablesOf(*db);
    EXPECT_TRUE(tables.contains(QStringLiteral("Programacion")));
    EXPECT_TRUE(tables.contains(QStringLiteral("DiarioRegistros")));
    EXPECT_FALSE(tables.contains(QStringLiteral("Configuracion"), Qt::CaseInsensitive));

    // The quoted names are the ones a statement must use; the comma name included.
    Store store(*db);
    ASSERT_TRUE(test::succeeded(
        store.insert(QStringLiteral("Programacion"),
                     row({{"LNumeroSerie", 7}, {"SOctava31,5Hz", 1.5}, {"TLocal", QStringLiteral("Peñón")}}))));
    const auto back = test::take(store.selectOne(QStringLiteral("Programacion"), row({{"LNumeroSerie", 7}})));
    ASSERT_TRUE(back);
    EXPECT_DOUBLE_EQ(back->value(QStringLiteral("SOctava31,5Hz")).toDouble(), 1.5);
    EXPECT_FALSE(back->contains(QStringLiteral("rowid"))) << "the server's row number leaked into a row";
    // The key holds on the server as in the file.
    EXPECT_FALSE(store.insert(QStringLiteral("Programacion"), row({{"LNumeroSerie", 7}})));
    // Laying out again changes nothing and loses nothing.
    ASSERT_TRUE(test::succeeded(db->layOutSchema()));
    EXPECT_EQ(test::take(store.count(QStringLiteral("Programacion"))), 1);
}

TEST_F(ServerDatabase, ATableOfOurNameWithOtherColumnsIsRefusedAndLeftAsItWas)
{
    ServerTestDatabase server(false);
    auto db = server.open();
    ASSERT_TRUE(db);
    QSqlQuery q(db->connection());
    ASSERT_TRUE(q.exec(QStringLiteral("CREATE TABLE \"Intervalos\" (id integer, nota text)")));
    ASSERT_TRUE(q.exec(QStringLiteral("INSERT INTO \"Intervalos\" VALUES (1, 'ajeno')")));
    ASSERT_TRUE(q.exec(QStringLiteral("CREATE TABLE facturas (id integer)")));

    QString detail;
    EXPECT_EQ(db->inspectSchema(&detail), SchemaState::Foreign);
    EXPECT_EQ(detail, QStringLiteral("Intervalos"));
    const Status laid = db->layOutSchema();
    ASSERT_FALSE(laid);
    const QString error = untranslatedText(laid.error());
    EXPECT_TRUE(error.contains(QLatin1String("Intervalos"))) << error.toStdString();
    EXPECT_EQ(tablesOf(*db), (QStringList{QStringLiteral("Intervalos"), QStringLiteral("facturas")}));
    ASSERT_TRUE(q.exec(QStringLiteral("SELECT nota FROM \"Intervalos\"")) && q.next());
    EXPECT_EQ(q.value(0).toString(), QStringLiteral("ajeno"));
}

TEST_F(ServerDatabase, ADatabaseMissingSomeOfOurTablesGetsOnlyThoseAndKeepsItsRows)
{
    ServerTestDatabase server(false);
    auto db = server.open();
    ASSERT_TRUE(db);
    ASSERT_TRUE(test::succeeded(db->layOutSchema()));
    Store store(*db);
    ASSERT_TRUE(store.insert(QStringLiteral("Programacion"), row({{"LNumeroSerie", 9}})));
    QSqlQuery q(db->connection());
    ASSERT_TRUE(q.exec(QStringLiteral("DROP TABLE \"DiarioRegistros\"")));
    ASSERT_TRUE(q.exec(QStringLiteral("DROP TABLE \"Sesiones\"")));

    QString missing;
    EXPECT_EQ(db->inspectSchema(&missing), SchemaState::Partial);
    EXPECT_TRUE(missing.contains(QLatin1String("Sesiones")) && missing.contains(QLatin1String("DiarioRegistros")))
        << missing.toStdString();
    ASSERT_TRUE(test::succeeded(db->layOutSchema()));
    EXPECT_EQ(db->inspectSchema(), SchemaState::Ready);
    EXPECT_EQ(test::take(store.count(QStringLiteral("Programacion"))), 1);
}

TEST_F(ServerDatabase, ConnectionFailuresSayWhichTheyAre)
{
    DatabaseTarget nowhere = tvq52::test::serverAdminTarget();
    nowhere.host = QStringLiteral("/nonexistent-socket-folder");
    DatabaseTarget missing = tvq52::test::serverAdminTarget();
    missing.database = QStringLiteral("no_such_database_here");
    DatabaseTarget stranger = tvq52::test::serverAdminTarget();
    stranger.user = QStringLiteral("nobody_we_know");
    for (const auto& [target, kind] : {std::pair{nowhere, DatabaseFailure::Kind::Unreachable},
                                       std::pair{missing, DatabaseFailure::Kind::NoDatabase},
                                       std::pair{stranger, DatabaseFailure::Kind::Authentication}}) {
        const auto opened = Database::openServer(target, {});
        ASSERT_FALSE(opened);
        EXPECT_EQ(databaseFailureOf(opened.error()).kind, kind) << untranslatedText(opened.error()).toStdString();
    }
}

TEST_F(ServerDatabase, AfterTheServerComesBackTheNextOperationWorksWithoutRestartingTheProgram)
{
    tvq52::test::PrivateServer server;
    auto db = server.open();
    ASSERT_TRUE(db);
    Store store(*db);
    ASSERT_TRUE(store.insert(QStringLiteral("Programacion"), row({{"LNumeroSerie", 3}})));
    ASSERT_TRUE(server.halt());
    const Result<qint64> lost = store.count(QStringLiteral("Programacion"));
    ASSERT_FALSE(lost);
    EXPECT_FALSE(untranslatedText(lost.error()).isEmpty());
    EXPECT_TRUE(db->connectionLost());
    ASSERT_TRUE(server.resume());
    EXPECT_EQ(test::take(store.count(QStringLiteral("Programacion"))), 1);
    EXPECT_TRUE(test::succeeded(inTransaction(store, [&] {
        return store.insert(QStringLiteral("Programacion"), row({{"LNumeroSerie", 4}}));
    })));
    EXPECT_EQ(test::take(store.count(QStringLiteral("Programacion"))), 2);
}

} // namespace

// Each login may do what its role allows and is told the level it lacks;
// a role revoked while the program runs is seen by the next operation.
TEST_F(ServerDatabase, EachLoginMayDoWhatItsRoleAllowsAndIsToldTheRoleItLacks)
{
    ServerTestDatabase server;
    test::OfficeRoles roles(server);
    // Before the roles own the tables the database has none: today's rights.
    if (auto nobody = test::take(Database::openServer(roles.as(Right::None), {}))) {
        EXPECT_EQ(nobody->right(), Right::Admin);
    }
    roles.handOver();
    // The least level each operation needs, as the office hands them out.
    struct Need {
        Operation op;
        Right level;
        const char* word;
    };
    const Need needs[] = {
        {Operation::Browse, Right::Read, "read"},
        {Operation::Export, Right::Read, "read"},
        {Operation::Journal, Right::Read, "read"},
        {Operation::Download, Right::Collect, "collect"},
        {Operation::Import, Right::Collect, "collect"},
        {Operation::Merge, Right::Collect, "collect"},
        {Operation::ProgramReceive, Right::Collect, "collect"},
        {Operation::ProgramTransmit, Right::Admin, "admin"},
        {Operation::UnitDeletion, Right::Admin, "admin"},
        {Operation::SharedSettings, Right::Admin, "admin"},
    };
    for (const Right login : test::OfficeRoles::kLevels) {
        auto db = test::take(Database::openServer(roles.as(login), {}));
        ASSERT_TRUE(db) << int(login);
        EXPECT_EQ(db->right(), login);
        for (const Need& n : needs) {
            const Status allowed = checkRight(*db, n.op);
            ASSERT_EQ(allowed.ok(), login >= n.level) << int(login) << ' ' << n.word;
            if (!allowed.ok()) {
                EXPECT_EQ(databaseFailureOf(allowed.error()).kind, DatabaseFailure::Kind::PermissionDenied);
                EXPECT_TRUE(untranslatedText(allowed.error()).contains(QStringLiteral("«%1»").arg(n.word)))
                    << untranslatedText(allowed.error()).toStdString();
            }
        }
    }
    // The superuser that laid the tables out may do anything.
    EXPECT_EQ(server.open()->right(), Right::Admin);

    auto collector = test::take(Database::openServer(roles.as(Right::Collect), {}));
    ASSERT_TRUE(collector);
    roles.revoke(Right::Collect);
    const Status next = checkRight(*collector, Operation::Import);
    ASSERT_FALSE(next.ok());
    EXPECT_EQ(collector->right(), Right::None);
    EXPECT_TRUE(untranslatedText(next.error()).contains(QStringLiteral("«collect»")));
}
