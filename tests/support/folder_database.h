#pragma once

#include "db/database.h"
#include "db/store.h"
#include "support/temp_home.h"

#include <QSqlError>
#include <QSqlQuery>
#include <gtest/gtest.h>
#include <memory>

namespace tvq52::test {

// While it lives, statements on a server run as the superuser past the
// journal's triggers, as someone who tampers with the tables would.
class PastJournalTriggers {
public:
    explicit PastJournalTriggers(Database& db) : db_(db.isServer() ? &db : nullptr) { set("replica"); }
    ~PastJournalTriggers() { set("origin"); }
    PastJournalTriggers(const PastJournalTriggers&) = delete;
    PastJournalTriggers& operator=(const PastJournalTriggers&) = delete;

private:
    void set(const char* role)
    {
        if (db_) {
            EXPECT_TRUE(QSqlQuery(db_->connection())
                            .exec(QStringLiteral("SET session_replication_role = %1").arg(QLatin1String(role))));
        }
    }
    Database* db_;
};

// A statement the test needs to set a case up; refused, it fails the test.
inline void exec(Database& db, const QString& sql)
{
    const PastJournalTriggers past(db);
    QSqlQuery q(db.connection());
    ASSERT_TRUE(q.exec(sql)) << sql.toStdString() << ": " << q.lastError().text().toStdString();
}

// The number a counting query answers.
inline qint64 countRows(Database& db, const QString& sql)
{
    QSqlQuery q(db.connection());
    EXPECT_TRUE(q.exec(sql) && q.next()) << sql.toStdString();
    return q.value(0).toLongLong();
}

// A laid-out data folder with its database open and a store over it.
class FolderDatabaseTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        home.provision();
        db = home.openDatabase();
        ASSERT_NE(db, nullptr);
        store = std::make_unique<Store>(*db);
    }

    void exec(const QString& sql) { test::exec(*db, sql); }
    static void exec(Database& other, const QString& sql) { test::exec(other, sql); }

    TempHome home;
    std::unique_ptr<Database> db;
    std::unique_ptr<Store> store;
};

} // namespace tvq52::test
