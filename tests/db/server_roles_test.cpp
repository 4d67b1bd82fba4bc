#include "db/database.h"
#include "db/row_sink.h"
#include "db/server_roles.h"
#include "db/store.h"
#include "evidence/journal.h"
#include "support/result_checks.h"
#include "support/rows.h"
#include "support/test_backend.h"

#include <QSqlError>
#include <QSqlQuery>
#include <gtest/gtest.h>

using namespace tvq52;
using tvq52::test::ServerTestDatabase;

namespace {

class ServerRolesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!test::onServerBackend())
            GTEST_SKIP() << "server run only";
        server_ = std::make_unique<ServerTestDatabase>();
        db_ = server_->open();
        ASSERT_TRUE(db_);
        roles_ = ServerRoleNames::forDatabase(server_->target().database);
        logins_.roles << roles_.admin << roles_.collect << roles_.read << roles_.owner;
    }
    void TearDown() override
    {
        db_.reset();
        server_.reset();
    }
    // A login of this test's own; the server trusts the socket.
    std::unique_ptr<Database> login(const QString& name, const QString& options = QStringLiteral("LOGIN"))
    {
        const QString role = server_->target().database + QLatin1Char('_') + name;
        logins_.roles.prepend(role);
        EXPECT_TRUE(server_->adminExec(QStringLiteral("CREATE ROLE %1 %2").arg(quoteIdentifier(role), options)));
        DatabaseTarget as = server_->target();
        as.user = role;
        return test::take(Database::openServer(as, {}));
    }
    QString run(Database& db, const QString& sql)
    {
        QSqlQuery q(db.connection());
        return q.exec(sql) ? QString() : q.lastError().nativeErrorCode();
    }
    // Owners, rights and memberships as the catalogue keeps them.
    QStringList grants()
    {
        QSqlQuery q(db_->connection());
        EXPECT_TRUE(q.exec(QStringLiteral(
            "SELECT 'rel ' || relname || ' ' || relowner::regrole || ' ' || coalesce(relacl::text, '') FROM pg_class "
            "WHERE relnamespace = to_regnamespace(current_schema()) UNION ALL "
            "SELECT 'fn ' || oid::regprocedure || ' ' || proowner::regrole || ' ' || coalesce(proacl::text, '') "
            "FROM pg_proc WHERE pronamespace = to_regnamespace(current_schema()) UNION ALL "
            "SELECT 'member ' || roleid::regrole || ' ' || member::regrole || ' ' || admin_option "
            "FROM pg_auth_members WHERE roleid::regrole::text || ' ' || member::regrole::text "
            "~ ('(^| |tvq52_)' || current_database() || '_') UNION ALL SELECT 'default ' || defaclacl::text FROM "
            "pg_default_acl UNION ALL "
            "SELECT 'schema ' || coalesce(nspacl::text, '') FROM pg_namespace WHERE nspname = current_schema() "
            "ORDER BY 1")));
        QStringList all;
        while (q.next())
            all << q.value(0).toString();
        return all;
    }
    qint64 count(Database& db, const QString& table)
    {
        QSqlQuery q(db.connection());
        EXPECT_TRUE(q.exec(QStringLiteral("SELECT count(*) FROM %1").arg(quoteIdentifier(table))) && q.next())
            << table.toStdString();
        return q.value(0).toLongLong();
    }

    test::DroppedRoles logins_; // dropped after the database
    std::unique_ptr<ServerTestDatabase> server_;
    std::unique_ptr<Database> db_;
    ServerRoleNames roles_;
};

TEST_F(ServerRolesTest, SetupOverStoredRecordsMovesOwnershipKeepsEveryRowAndChangesNothingTheSecondTime)
{
    Store store(*db_);
    ASSERT_TRUE(test::succeeded(store.insert(QStringLiteral("Programacion"), test::row({{"LNumeroSerie", 7}}))));
    ASSERT_TRUE(
        run(*db_, QStringLiteral("INSERT INTO \"DiarioVerificado\" (\"LNumeroSerie\") VALUES (1), (2)")).isEmpty());
    std::map<QString, qint64> before;
    for (const QString& table : serverTableNames())
        before[table] = count(*db_, table);
    EXPECT_EQ(before[QStringLiteral("Programacion")] + before[QStringLiteral("DiarioVerificado")], 3);

    ServerRoles setup(*db_);
    ASSERT_TRUE(test::succeeded(setup.setup()));
    EXPECT_TRUE(test::take(setup.present()));
    const QStringList first = grants();
    for (const QString& table : serverTableNames()) {
        EXPECT_EQ(count(*db_, table), before[table]) << table.toStdString();
        EXPECT_TRUE(first.filter(QStringLiteral("rel %1 %2 ").arg(table, roles_.owner)).size() == 1)
            << table.toStdString() << " kept its owner";
    }
    EXPECT_TRUE(first.filter(QStringLiteral("member %1 ").arg(roles_.owner)).isEmpty()) << "a login joined the owner";
    EXPECT_TRUE(db_->schemaCurrent());
    ASSERT_TRUE(test::succeeded(setup.setup()));
    EXPECT_EQ(grants(), first);
    // What a later lay-out makes belongs to the owner with the same rights.
    ASSERT_TRUE(run(*db_, QStringLiteral("DROP FUNCTION tvq52_schema_version()")).isEmpty());
    ASSERT_TRUE(test::succeeded(db_->layOutSchema()));
    EXPECT_EQ(grants(), first);
}

TEST_F(ServerRolesTest, LoginsReadButChangeNothingAndAnAdminHandsOutOnlyTheThreeLevels)
{
    ServerRoles asSuperuser(*db_);
    ASSERT_TRUE(test::succeeded(asSuperuser.setup()));
    auto admin = login(QStringLiteral("admin"));
    auto collector = login(QStringLiteral("collector"));
    auto reader = login(QStringLiteral("reader"));
    ASSERT_TRUE(admin && collector && reader);
    const QString prefix = server_->target().database + QLatin1Char('_');
    ASSERT_TRUE(test::succeeded(asSuperuser.grant(prefix + QStringLiteral("admin"), Right::Admin)));

    // The admin has no CREATEROLE; the server's function does the granting.
    ServerRoles byAdmin(*admin);
    ASSERT_TRUE(test::succeeded(byAdmin.grant(prefix + QStringLiteral("collector"), Right::Read)));
    ASSERT_TRUE(test::succeeded(byAdmin.grant(prefix + QStringLiteral("collector"), Right::Collect)));
    ASSERT_TRUE(test::succeeded(byAdmin.grant(prefix + QStringLiteral("reader"), Right::Read)));
    const auto listed = test::take(byAdmin.list());
    QStringList seen;
    for (const RoleMember& m : listed)
        seen << m.login + QLatin1Char(' ') + rightWord(m.level);
    EXPECT_EQ(seen,
              (QStringList{prefix + QStringLiteral("admin admin"), prefix + QStringLiteral("collector collect"),
                           prefix + QStringLiteral("reader read")}));

    // Nothing else is handed out, by the function or around it.
    const QString superuser = server_->target().user.isEmpty() ? QStringLiteral("postgres") : server_->target().user;
    for (const QString& refused :
         {QStringLiteral("SELECT tvq52_admin_grant('%1', 'owner')").arg(prefix + QStringLiteral("reader")),
          QStringLiteral("SELECT tvq52_admin_grant('%1', 'admin')").arg(superuser),
          QStringLiteral("SELECT tvq52_admin_grant('%1', 'admin')").arg(roles_.owner),
          QStringLiteral("SELECT tvq52_admin_revoke('%1')").arg(roles_.collect),
          QStringLiteral("GRANT %1 TO CURRENT_USER").arg(quoteIdentifier(roles_.owner)),
          QStringLiteral("CREATE ROLE %1").arg(quoteIdentifier(prefix + QStringLiteral("other")))})
        EXPECT_FALSE(run(*admin, refused).isEmpty()) << refused.toStdString();
    EXPECT_FALSE(byAdmin.grant(superuser, Right::Read));
    EXPECT_FALSE(ServerRoles(*reader).grant(prefix + QStringLiteral("collector"), Right::Admin));

    // A login's own SQL reads and changes nothing, the journal's tables included.
    for (Database* who : {reader.get(), collector.get()}) {
        for (const auto& [table, column] : {std::pair{"Intervalos", "LNumeroSerie"},
                                            {"Programacion", "LNumeroSerie"},
                                            {"Diario", "LNumeroSerie"},
                                            {"DiarioRegistros", "LEntrada"}}) {
            const QString t = quoteIdentifier(QString::fromLatin1(table));
            EXPECT_TRUE(run(*who, QStringLiteral("SELECT count(*) FROM %1").arg(t)).isEmpty()) << table;
            for (const QString& change :
                 {QStringLiteral("INSERT INTO %1 DEFAULT VALUES"), QStringLiteral("UPDATE %1 SET %2 = %2"),
                  QStringLiteral("DELETE FROM %1"), QStringLiteral("TRUNCATE %1")}) {
                const QString sql = change.arg(t, quoteIdentifier(QString::fromLatin1(column)));
                EXPECT_EQ(run(*who, sql), QStringLiteral("42501")) << sql.toStdString();
            }
        }
    }
    // The store lists what it adds in the lines the program numbers, but
    // never one line for two units.
    for (const auto& [secondLine, refusal] : {std::pair{0, "22023"}, std::pair{1, ""}}) {
        const QStringList steps{
            QStringLiteral("BEGIN"),
            QStringLiteral("CREATE TEMP TABLE tvq52_stage_mixed (tvq52_first boolean, tvq52_key text, tvq52_digest "
                           "bytea, tvq52_pack integer, \"LNumeroSerie\" integer, \"DFechaInicio\" date, "
                           "\"THoraInicio\" varchar(5)) ON COMMIT DROP"),
            QStringLiteral("INSERT INTO tvq52_stage_mixed VALUES (true, '7 2024-01-01 10:00', sha256('a'), 0, 7, "
                           "'2024-01-01', '10:00'), (true, '8 2024-01-01 10:00', sha256('b'), %1, 8, '2024-01-01', "
                           "'10:00')")
                .arg(secondLine),
            QStringLiteral("GRANT SELECT ON tvq52_stage_mixed TO %1").arg(quoteIdentifier(roles_.owner))};
        for (const QString& step : steps)
            ASSERT_TRUE(run(*collector, step).isEmpty()) << step.toStdString();
        EXPECT_EQ(run(*collector,
                      QStringLiteral("SELECT count(*) FROM tvq52_collect_store((SELECT entry FROM "
                                     "tvq52_journal_open('import', NULL, '', 3, NULL)), 'Intervalos', "
                                     "'tvq52_stage_mixed', false)")),
                  QString::fromLatin1(refusal));
        run(*collector, QStringLiteral("ROLLBACK"));
    }
    // A reader opens the database without making anything; a missing mark is seen.
    DatabaseTarget asReader = server_->target();
    asReader.user = prefix + QStringLiteral("reader");
    auto opened = test::take(Database::openServer(asReader, {}));
    ASSERT_TRUE(opened);
    EXPECT_TRUE(opened->schemaCurrent());
    ASSERT_TRUE(run(*db_, QStringLiteral("DROP FUNCTION tvq52_schema_version()")).isEmpty());
    EXPECT_FALSE(opened->schemaCurrent());

    ASSERT_TRUE(test::succeeded(byAdmin.revoke(prefix + QStringLiteral("reader"))));
    EXPECT_EQ(run(*reader, QStringLiteral("SELECT count(*) FROM \"Intervalos\"")), QStringLiteral("42501"));
    EXPECT_EQ(test::take(byAdmin.list()).size(), 2);
}

// A collector's batches are copied on a second connection of its login
// while the one before is stored; a login the server allows only one
// connection copies and stores them in turn on it. Either way every row is
// counted once, stored once and listed by the entry, a key met again in a
// later batch included.
TEST_F(ServerRolesTest, ACollectorsBatchesAreAllStoredOnOneConnectionOrTwo)
{
    ServerRoles asSuperuser(*db_);
    ASSERT_TRUE(test::succeeded(asSuperuser.setup()));
    const QString prefix = server_->target().database + QLatin1Char('_');
    qint32 serial = 52000;
    for (const char* limit : {"LOGIN CONNECTION LIMIT 1", "LOGIN"}) {
        SCOPED_TRACE(limit);
        const QString name = QStringLiteral("collector%1").arg(++serial);
        auto collector = login(name, QString::fromLatin1(limit));
        ASSERT_TRUE(collector);
        ASSERT_TRUE(test::succeeded(asSuperuser.grant(prefix + name, Right::Collect)));
        DatabaseTarget again = server_->target();
        again.user = prefix + name;
        EXPECT_EQ(!Database::openServer(again, {}), qstrcmp(limit, "LOGIN") != 0) << "a second connection";

        Journal journal(*collector);
        const Result<qint64> entry = journal.open(JournalAction::Import, 0, {}, QByteArray(64, 'c'));
        ASSERT_TRUE(entry);
        Result<std::unique_ptr<RowSink>> opened = openRowSink(*collector, 4);
        ASSERT_TRUE(opened) << opened.error().detail.toStdString();
        RowSink& sink = **opened;
        ASSERT_TRUE(sink.prepare({test::wholeSinkTable("DiaBorrado")}, *entry));
        ASSERT_TRUE(sink.begin());
        // Lines 16 to 18 bring the days of lines 1 to 3 again, three batches later.
        for (int line = 1; line <= 18; ++line)
            sink.add(0, line,
                     QVariantList{serial, QDate(2024, 1, (line - 1) % 15 + 1).toString(Qt::ISODate),
                                  QStringLiteral("10:00")});
        sink.finish(18);
        ASSERT_FALSE(sink.failure().failed()) << sink.failure().detail.toStdString();
        ASSERT_TRUE(sink.listAdded());
        EXPECT_TRUE(journal.seal(*entry, QStringLiteral("completed"), QString()));
        EXPECT_EQ(sink.counts()[0].added, 15);
        EXPECT_EQ(sink.counts()[0].present, 3);
        QSqlQuery stored(db_->connection());
        ASSERT_TRUE(stored.exec(QStringLiteral("SELECT count(*) FROM \"DiaBorrado\" WHERE \"LNumeroSerie\" = %1")
                                    .arg(serial))
                    && stored.next());
        EXPECT_EQ(stored.value(0).toInt(), 15);
        const JournalVerification v = Journal(*db_).verify();
        EXPECT_TRUE(v.findings.isEmpty()) << v.findings.value(0).detail.toStdString();
    }
}

TEST_F(ServerRolesTest, SetupByALoginThatCannotCreateRolesIsRefusedAndMakesNothing)
{
    const QStringList before = grants();
    auto plain = login(QStringLiteral("plain"), QStringLiteral("LOGIN CREATEDB"));
    ASSERT_TRUE(plain);
    const Status refused = ServerRoles(*plain).setup();
    ASSERT_FALSE(refused);
    EXPECT_TRUE(untranslatedText(refused.error()).contains(QLatin1String("CREATEROLE")))
        << untranslatedText(refused.error()).toStdString();
    EXPECT_FALSE(test::take(ServerRoles(*db_).present()));
    EXPECT_EQ(grants(), before);

    // One that can create roles but owns none of the tables fails, and
    // leaves no role behind either.
    auto creator = login(QStringLiteral("creator"), QStringLiteral("LOGIN CREATEROLE"));
    ASSERT_TRUE(creator);
    ASSERT_FALSE(ServerRoles(*creator).setup());
    EXPECT_EQ(grants(), before);
    EXPECT_EQ(run(*db_, QStringLiteral("SELECT '%1'::regrole").arg(roles_.owner)), QStringLiteral("42704"));

    // Once it owns the database and its tables it sets up, and leaves the
    // owner role it had to join to give them away.
    const QString name = quoteIdentifier(server_->target().database + QStringLiteral("_creator"));
    ASSERT_TRUE(
        run(*db_,
            QStringLiteral("ALTER DATABASE %1 OWNER TO %2").arg(quoteIdentifier(server_->target().database), name))
            .isEmpty());
    ASSERT_TRUE(run(*db_,
                    QStringLiteral("DO $$ DECLARE r record; BEGIN "
                                   "FOR r IN SELECT oid::regclass AS t FROM pg_class WHERE relkind = 'r' AND "
                                   "relnamespace = to_regnamespace(current_schema()) LOOP "
                                   "EXECUTE format('ALTER TABLE %s OWNER TO %2', r.t); END LOOP; "
                                   "FOR r IN SELECT oid::regprocedure AS f FROM pg_proc WHERE "
                                   "pronamespace = to_regnamespace(current_schema()) LOOP "
                                   "EXECUTE format('ALTER FUNCTION %s OWNER TO %2', r.f); END LOOP; END $$")
                        .replace(QLatin1String("%2"), name))
                    .isEmpty());
    ASSERT_TRUE(test::succeeded(ServerRoles(*creator).setup()));
    EXPECT_TRUE(test::take(ServerRoles(*db_).present()));
    EXPECT_TRUE(grants().filter(QStringLiteral("member %1 ").arg(roles_.owner)).isEmpty()) << "the creator stayed";
}

} // namespace
