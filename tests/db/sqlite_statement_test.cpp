#include "db/sqlite_statement.h"

#include <gtest/gtest.h>
#include <memory>
#include <sqlite3.h>

using namespace tvq52;

namespace {

class SqliteStatementTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
        ASSERT_FALSE(sqliteExec(db_, "CREATE TABLE t (k INTEGER PRIMARY KEY, n TEXT NOT NULL, x REAL)").failed());
    }
    void TearDown() override { sqlite3_close(db_); }
    sqlite3* db_ = nullptr;
};

} // namespace

TEST_F(SqliteStatementTest, AConstraintFailureIsAValueThatBlamesTheRowNotTheDatabase)
{
    SqliteStatement insert;
    ASSERT_FALSE(insert.prepare(db_, QStringLiteral("INSERT INTO t (k, n) VALUES (?, ?)")).failed());
    insert.bind(0, 1);
    insert.bind(1, QStringLiteral("one"));
    EXPECT_TRUE(insert.step().done());
    insert.reset();

    insert.bind(0, 1); // the same key again
    const SqliteStep twice = insert.step();
    insert.reset();
    ASSERT_TRUE(twice.failed());
    EXPECT_TRUE(twice.rowRefused());
    EXPECT_EQ(twice.code & 0xFF, SQLITE_CONSTRAINT);
    EXPECT_TRUE(twice.message.contains(QLatin1String("UNIQUE"))) << twice.message.toStdString();

    insert.bind(0, 2);
    insert.bind(1, QVariant()); // NOT NULL
    const SqliteStep noName = insert.step();
    insert.reset();
    EXPECT_TRUE(noName.rowRefused());

    // The statement still works after the refusals.
    insert.bind(0, 3);
    insert.bind(1, QStringLiteral("three"));
    EXPECT_TRUE(insert.step().done());
}

TEST_F(SqliteStatementTest, AFailureOfTheDatabaseIsToldByItsKindNotAsARowRefusal)
{
    SqliteStatement bad;
    const SqliteStep prepared = bad.prepare(db_, QStringLiteral("SELECT * FROM no_such_table"));
    ASSERT_TRUE(prepared.failed());
    EXPECT_FALSE(prepared.rowRefused());
    EXPECT_TRUE(prepared.message.contains(QLatin1String("no_such_table")));
    EXPECT_FALSE(bad.prepared());
    EXPECT_TRUE(bad.step().failed()) << "a statement that never prepared must not report rows";

    // A read-only database refuses the write as the database's failure.
    ASSERT_FALSE(sqliteExec(db_, "PRAGMA query_only = 1").failed());
    const SqliteStep write = sqliteExec(db_, "INSERT INTO t (k, n) VALUES (9, 'x')");
    ASSERT_TRUE(write.failed());
    EXPECT_FALSE(write.rowRefused());
    EXPECT_EQ(write.databaseFailure().kind, DatabaseFailure::Kind::ReadOnly);
}

TEST_F(SqliteStatementTest, ValuesReadBackInSQLitesOwnTypesWithNullApartFromTheEmptyText)
{
    SqliteStatement insert;
    ASSERT_FALSE(insert.prepare(db_, QStringLiteral("INSERT INTO t (k, n, x) VALUES (?, ?, ?)")).failed());
    const QString accents = QString::fromUtf8("Ñandú · 東京 · 🎵");
    const struct {
        qint64 key;
        QVariant text;
        QVariant real;
    } rows[] = {
        {1, QString(QLatin1String("")), QVariant()}, {2, accents, 87.25}, {3, QStringLiteral("a\tb\nc"), 1e300}};
    for (const auto& r : rows) {
        insert.bind(0, r.key);
        insert.bind(1, r.text);
        insert.bind(2, r.real);
        ASSERT_TRUE(insert.step().done());
        insert.reset();
    }
    SqliteStatement select;
    ASSERT_FALSE(select.prepare(db_, QStringLiteral("SELECT k, n, x FROM t ORDER BY k")).failed());
    for (const auto& r : rows) {
        ASSERT_TRUE(select.step().row());
        EXPECT_EQ(select.column(0).typeId(), QMetaType::LongLong);
        EXPECT_EQ(select.integer(0), r.key);
        EXPECT_EQ(select.column(1).toString(), r.text.toString());
        EXPECT_FALSE(select.isNull(1)) << "the empty text is a text";
        EXPECT_EQ(QByteArray(select.text(1), select.bytes(1)), r.text.toString().toUtf8());
        EXPECT_EQ(select.isNull(2), r.real.isNull());
        EXPECT_EQ(select.column(2).isNull(), r.real.isNull());
        if (!r.real.isNull()) {
            EXPECT_EQ(select.real(2), r.real.toDouble());
        }
    }
    EXPECT_TRUE(select.step().done());
    // Reset runs it again from the start.
    select.reset();
    EXPECT_TRUE(select.step().row());
    EXPECT_EQ(select.integer(0), 1);

    // A moved statement is finalized once, by its new owner.
    SqliteStatement moved = std::move(select);
    EXPECT_FALSE(select.prepared());
    EXPECT_TRUE(moved.prepared());
}
