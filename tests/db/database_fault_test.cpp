#include "db/database.h"

#include <QSqlError>
#include <gtest/gtest.h>

using namespace tvq52;

namespace {

// As Qt's SQLite driver reports a failed step: always a "connection error",
// with SQLite's own result code beside its words.
QSqlError sqliteStep(const char* words, const char* code)
{
    return QSqlError(QStringLiteral("Unable to fetch row"), QString::fromLatin1(words), QSqlError::ConnectionError,
                     QString::fromLatin1(code));
}

} // namespace

TEST(DatabaseFault, AFileTellsItsReasonByItsResultCodeAndNeverLosesAConnection)
{
    EXPECT_EQ(databaseFault(sqliteStep("database or disk is full", "13"), false), DatabaseFault::DiskFull);
    EXPECT_EQ(databaseFault(sqliteStep("database is locked", "5"), false), DatabaseFault::Locked);
    EXPECT_EQ(databaseFault(sqliteStep("database table is locked", "6"), false), DatabaseFault::Locked);
    EXPECT_EQ(databaseFault(sqliteStep("attempt to write a readonly database", "8"), false), DatabaseFault::ReadOnly);
    EXPECT_EQ(databaseFault(sqliteStep("disk I/O error", "10"), false), DatabaseFault::IoError);
    EXPECT_EQ(databaseFault(sqliteStep("unable to open database file", "14"), false), DatabaseFault::IoError);
    // Extended codes: a short write, a read-only file that cannot roll back.
    EXPECT_EQ(databaseFault(sqliteStep("disk I/O error", "778"), false), DatabaseFault::IoError);
    EXPECT_EQ(databaseFault(sqliteStep("attempt to write a readonly database", "264"), false), DatabaseFault::ReadOnly);
    // A refused value says nothing of the file; no code says nothing either.
    EXPECT_EQ(databaseFault(sqliteStep("UNIQUE constraint failed", "19"), false), DatabaseFault::None);
    EXPECT_EQ(databaseFault(sqliteStep("no such table", ""), false), DatabaseFault::None);
    EXPECT_EQ(databaseFault(QSqlError(), false), DatabaseFault::None);
}

TEST(DatabaseFault, OnlyAServerLosesItsConnection)
{
    const QSqlError broken(QStringLiteral("Unable to execute"), QStringLiteral("server closed the connection"),
                           QSqlError::StatementError, QStringLiteral("08006"));
    EXPECT_EQ(databaseFault(broken, true), DatabaseFault::ConnectionLost);
    const QSqlError refused(QStringLiteral("Unable to execute"), QStringLiteral("value too long"),
                            QSqlError::StatementError, QStringLiteral("22001"));
    EXPECT_EQ(databaseFault(refused, true), DatabaseFault::None);
}
